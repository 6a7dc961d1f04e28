#include "app/abrupt_end.h"

#include <cstdlib>

#include "app/form1.h"

namespace taperly {

namespace {

Form1* guarded_form = nullptr;

void end_guarded_form() {
    if (Form1* form = guarded_form) {
        guarded_form = nullptr;
        form->end_abruptly();
    }
}

}  // namespace

AbruptEndGuard::AbruptEndGuard(Form1& form) {
    static const bool registered = std::atexit(end_guarded_form) == 0;
    (void)registered;
    guarded_form = &form;
}

AbruptEndGuard::~AbruptEndGuard() {
    guarded_form = nullptr;
}

}  // namespace taperly

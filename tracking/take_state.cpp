#include "tracking/take_state.h"

namespace taperly {

void TakeState::clear() {
    scan_system1 = "-";
    scan_system2 = "-";
    scan_group1 = "-";
    scan_group2 = "-";
    gotSystem1 = "0";
    GotSystem2 = "0";
    GotGroup1 = "0";
    GotGroup2 = "0";
    gid_system_name.clear();
    gid_group_name.clear();
    gid_tg_name.clear();
    gid_tg_id.clear();
    Label7 = "-";
    Label1 = "-";
}

}  // namespace taperly

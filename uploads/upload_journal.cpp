#include "uploads/upload_journal.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>

#include "settings/file_exists.h"
#include "settings/utf8_path.h"

namespace taperly {

namespace {

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::vector<std::string> fields_of(std::string_view line) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char next = line[++i];
            fields.back() += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::string line_of(const std::vector<std::string>& record) {
    std::string line;
    for (const std::string& field : record) {
        line += (line.empty() ? "" : "\t") + escaped(field);
    }
    return line + "\n";
}

std::int64_t number_of(const std::string& text) {
    std::int64_t value = -1;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::string read_whole(const std::string& path) {
    std::ifstream file(utf8_path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void apply_record(const std::vector<std::string>& record, JournalContents& contents) {
    const std::string& kind = record[0];
    if (kind == "from" && record.size() >= 2) {
        contents.log_from = number_of(record[1]);
        return;
    }
    if (kind == "skip" && record.size() >= 2) {
        contents.known.insert(record[1]);
        return;
    }
    if (kind == "queued" && record.size() >= 3) {
        if (const auto take = take_from_fields(record, 3)) {
            JournalEntry entry{number_of(record[1]), record[2], *take, 0, {}};
            contents.known.insert(take->key());
            contents.next_id = std::max(contents.next_id, entry.id + 1);
            contents.waiting.push_back(std::move(entry));
        }
        return;
    }
    if (record.size() < 2) {
        return;
    }
    const std::int64_t id = number_of(record[1]);
    const auto entry = std::find_if(contents.waiting.begin(), contents.waiting.end(),
                                    [id](const JournalEntry& e) { return e.id == id; });
    if (entry == contents.waiting.end()) {
        return;
    }
    if (kind == "try") {
        ++entry->tries;
    } else if (kind == "step" && record.size() >= 3) {
        entry->sound_url = record[2];
    } else if (kind == "done") {
        contents.waiting.erase(entry);
        ++contents.ended;
    }
}

JournalContents contents_of(const std::string& text) {
    JournalContents contents;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        apply_record(fields_of(std::string_view(text).substr(at, end - at)), contents);
    }
    return contents;
}

}  // namespace

std::string UploadJournal::failure() const {
    const std::lock_guard lock(mutex_);
    return failure_;
}

JournalContents UploadJournal::replay() {
    const std::lock_guard lock(mutex_);
    const std::string fresh = path_ + ".new";
    // A rewrite removes the old journal only once the new one is whole.
    if (file_exists(fresh)) {
        if (file_exists(path_)) {
            remove_name(fresh);
        } else {
            NativeFile file = NativeFile::open_to_append(fresh);
            if (file.is_open()) {
                file.rename(fresh, path_);
            }
        }
    }
    return contents_of(read_whole(path_));
}

JournalContents UploadJournal::read(const std::string& path) {
    // Between a rewrite's removal of the old journal and the new one's name.
    return contents_of(read_whole(file_exists(path) ? path : path + ".new"));
}

bool UploadJournal::rewrite(std::int64_t log_from, const std::deque<JournalEntry>& waiting) {
    const std::lock_guard lock(mutex_);
    file_.close();
    const std::string fresh = path_ + ".new";
    remove_name(fresh);
    std::string text = line_of({"from", std::to_string(log_from)});
    for (const JournalEntry& entry : waiting) {
        text += line_of(queued_record(entry));
        for (int i = 0; i < entry.tries; ++i) {
            text += line_of({"try", std::to_string(entry.id)});
        }
        if (!entry.sound_url.empty()) {
            text += line_of({"step", std::to_string(entry.id), entry.sound_url});
        }
    }
    NativeFile file = NativeFile::create_new(fresh);
    const auto count = static_cast<std::int64_t>(text.size());
    if (!file.is_open() || file.write_at(0, text.data(), count) != count || !file.flush()) {
        failure_ = std::strerror(errno);
        file.close();
        remove_name(fresh);
        return false;
    }
    if (file_exists(path_) && !remove_name(path_)) {
        failure_ = std::strerror(errno);
        return false;
    }
    if (file.rename(fresh, path_) != NameAdded::kAdded) {
        failure_ = std::strerror(errno);
        return false;
    }
    const std::string folder = path_.substr(0, path_.find_last_of("/\\"));
    flush_folder(folder);
    failure_.clear();
    return true;
}

bool UploadJournal::queued(const std::vector<JournalEntry>& entries) {
    std::vector<Record> records;
    for (const JournalEntry& entry : entries) {
        records.push_back(queued_record(entry));
    }
    return append(records);
}

UploadJournal::Record UploadJournal::queued_record(const JournalEntry& entry) {
    Record record{"queued", std::to_string(entry.id), entry.number};
    for (std::string& field : take_fields(entry.take)) {
        record.push_back(std::move(field));
    }
    return record;
}

bool UploadJournal::open() {
    if (file_.is_open()) {
        return true;
    }
    file_ = NativeFile::open_to_append(path_);
    if (!file_.is_open()) {
        return false;
    }
    // Half a record a crash left was never acted on: it goes, rather than
    // be made whole by the next line end.
    std::int64_t end = file_.size();
    char block[4096];
    for (std::int64_t at = end; at > 0;) {
        const std::int64_t from =
            std::max<std::int64_t>(0, at - static_cast<std::int64_t>(sizeof block));
        if (file_.read_at(from, block, at - from) != at - from) {
            return false;
        }
        const std::string_view bytes(block, static_cast<std::size_t>(at - from));
        const std::size_t line_end = bytes.find_last_of('\n');
        if (line_end != std::string_view::npos) {
            end = from + static_cast<std::int64_t>(line_end) + 1;
            break;
        }
        at = end = from;
    }
    return end == file_.size() || file_.resize(end);
}

bool UploadJournal::append(const std::vector<Record>& records) {
    if (records.empty()) {
        return true;
    }
    std::string text;
    for (const Record& record : records) {
        text += line_of(record);
    }
    const auto count = static_cast<std::int64_t>(text.size());
    const std::lock_guard lock(mutex_);
    errno = 0;
    if (!open() || file_.append(text.data(), count) != count || !file_.flush()) {
        failure_ = std::strerror(errno != 0 ? errno : EIO);
        file_.close();
        return false;
    }
    failure_.clear();
    return true;
}

}  // namespace taperly

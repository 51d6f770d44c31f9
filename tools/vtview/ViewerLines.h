// The viewer's lines and the rows of its list. A line keeps the number it arrived with
// (the lines dropped before it plus its place) while the oldest make room at the limit,
// so a row stays on its line: the selection, "Kopieren" and what the person reads do not
// slide to other lines, and a new line costs the same at the limit as before it.
#pragma once

#include <cstddef>
#include <cwctype>
#include <deque>
#include <string>
#include <utility>

namespace viewer {

struct RLine {
    std::wstring time;
    std::wstring text;
};

class TViewerLines {
public:
    explicit TViewerLines(std::size_t limit) : limit_(limit) {}

    // What adding a line did to the rows of the list.
    struct RAdded {
        bool firstRowGone = false;  // the oldest line made room, and it was row 0
        bool rowAdded = false;      // the new line is now the last row
    };

    // While paused the rows stay as they are (the line is kept for "Fortsetzen"), except
    // that a row whose line made room goes with it.
    RAdded Add(RLine line, bool paused) {
        RAdded r;
        if (!lines_.empty() && lines_.size() >= limit_) {
            if (!shown_.empty() && shown_.front() == dropped_) {
                shown_.pop_front();
                r.firstRowGone = true;
            }
            lines_.pop_front();
            ++dropped_;
        }
        lines_.push_back(std::move(line));
        if (!paused && Matches(lines_.back())) {
            shown_.push_back(dropped_ + lines_.size() - 1);
            r.rowAdded = true;
        }
        return r;
    }

    // The rows anew from every line kept (a new search, "Fortsetzen").
    void Refill() {
        shown_.clear();
        for (std::size_t i = 0; i < lines_.size(); ++i)
            if (Matches(lines_[i])) shown_.push_back(dropped_ + i);
    }
    void SetFilter(const std::wstring& text) {
        filter_ = Lower(text);
        Refill();
    }
    void Clear() {
        dropped_ += lines_.size();
        lines_.clear();
        shown_.clear();
    }

    std::size_t Rows() const { return shown_.size(); }
    const RLine& Row(std::size_t row) const { return lines_[shown_[row] - dropped_]; }

private:
    static std::wstring Lower(std::wstring s) {
        for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
        return s;
    }
    bool Matches(const RLine& line) const {
        return filter_.empty() || Lower(line.text).find(filter_) != std::wstring::npos;
    }

    std::size_t limit_;
    std::deque<RLine> lines_;
    std::deque<std::size_t> shown_;  // the number of each row's line, ascending
    std::size_t dropped_ = 0;        // lines dropped from the front so far
    std::wstring filter_;            // lower case
};

}  // namespace viewer

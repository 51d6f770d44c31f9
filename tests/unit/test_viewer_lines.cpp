// The viewer's rows at its line limit: each row stays on its line while the oldest lines
// make room, searched, paused or not.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "../../tools/vtview/ViewerLines.h"

using viewer::TViewerLines;

namespace {

std::vector<std::wstring> RowTexts(const TViewerLines& v) {
    std::vector<std::wstring> out;
    for (std::size_t r = 0; r < v.Rows(); ++r) out.push_back(v.Row(r).text);
    return out;
}

TViewerLines::RAdded Add(TViewerLines& v, const wchar_t* text, bool paused = false) {
    return v.Add({L"12:00:00.000", text}, paused);
}

}  // namespace

TEST_CASE("viewer lines: rows keep their lines at the limit, searched and paused") {
    TViewerLines v(3);
    for (const wchar_t* t : {L"eins", L"zwei", L"drei"}) CHECK_FALSE(Add(v, t).firstRowGone);
    auto r = Add(v, L"vier");
    CHECK(r.firstRowGone);
    CHECK(r.rowAdded);
    CHECK(RowTexts(v) == std::vector<std::wstring>{L"zwei", L"drei", L"vier"});

    // Paused: the rows stay on their lines; row 0 goes only with its own line.
    CHECK_FALSE(Add(v, L"fünf", true).rowAdded);
    CHECK(RowTexts(v) == std::vector<std::wstring>{L"drei", L"vier"});
    Add(v, L"sechs", true);
    CHECK(RowTexts(v) == std::vector<std::wstring>{L"vier"});
    r = Add(v, L"sieben", true);
    CHECK(r.firstRowGone);
    CHECK(v.Rows() == 0);
    CHECK_FALSE(Add(v, L"acht", true).firstRowGone);  // no row left to go
    v.Refill();                                       // "Fortsetzen"
    CHECK(RowTexts(v) == std::vector<std::wstring>{L"sechs", L"sieben", L"acht"});

    // Searched: a line outside the search makes room without taking a row.
    v.SetFilter(L"S");
    CHECK(RowTexts(v) == std::vector<std::wstring>{L"sechs", L"sieben"});
    r = Add(v, L"Neun");
    CHECK(r.firstRowGone);  // "sechs"
    CHECK_FALSE(r.rowAdded);
    r = Add(v, L"zehn");  // "sieben" goes
    CHECK(r.firstRowGone);
    CHECK(v.Rows() == 0);
    r = Add(v, L"Elf ist es");
    CHECK_FALSE(r.firstRowGone);  // "acht" was no row
    CHECK(RowTexts(v) == std::vector<std::wstring>{L"Elf ist es"});

    // "Leeren": the numbers go on, the rows start afresh.
    v.Clear();
    v.SetFilter(L"");
    for (const wchar_t* t : {L"a", L"b", L"c", L"d"}) Add(v, t);
    CHECK(RowTexts(v) == std::vector<std::wstring>{L"b", L"c", L"d"});
}

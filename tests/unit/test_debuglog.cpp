#include <doctest/doctest.h>

#include <cstring>
#include <functional>
#include <stdexcept>

#include "FakePlatform.h"
#include "common/DebugWindowInterface.h"
#include "common/MemMap.h"
#include "common/Vantor.Utils.h"
#include "common/VtError.h"

using namespace vt;

namespace {

// A viewer as the library expects it: the window, and the block it created itself.
struct Viewer {
    FakePlatform& fake;
    HWnd wnd = 0;
    Handle block = 0;
    const std::uint8_t* view = nullptr;
    std::vector<std::vector<std::uint8_t>> seen;  // the block at each notification
    std::vector<bool> locked;                     // the writers' lock held meanwhile

    explicit Viewer(FakePlatform& f, bool withBlock = true) : fake(f) {
        if (withBlock) {
            block = fake.CreateFileMappingW(1024, u"SHMEM_1024");
            view = static_cast<const std::uint8_t*>(fake.MapViewOfFile(block));
        }
        wnd = fake.AddWindow(u"TDebugWindowDisplay", u"DebugWindow (Unicode)",
                             [this](HWnd, std::uint32_t msg, WParam w, LParam) {
                                 if (msg == 0x464 && w == 1 && view) {
                                     seen.emplace_back(view, view + 1024);
                                     locked.push_back(fake.MutexOwned(kDebugMutexName));
                                 }
                                 return LResult(0);
                             });
    }

    static std::u16string Text(const std::vector<std::uint8_t>& bytes, std::size_t units) {
        std::u16string s(units, u'\0');
        std::memcpy(&s[0], bytes.data(), units * 2);
        return s;
    }
};

std::u16string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ESharedMemoryError& e) {
        return e.Message();
    }
    return u"<no error>";
}

}  // namespace

TEST_SUITE("DebugWrite") {
    TEST_CASE("without a viewer the line goes to the debugger output only") {
        FakeScope scope;
        CHECK(DebugWrite(u"1.\tline"));
        REQUIRE(scope.fake.debugOutput.size() == 1);
        CHECK(scope.fake.debugOutput[0] == u"1.\tline");
        CHECK(scope.fake.sent.empty());
        CHECK(scope.fake.OpenHandles() == 0);
    }

    TEST_CASE("DebugLog formats the line and returns true") {
        FakeScope scope;
        CHECK(DebugLog(u"%s:\t%.4x\t%d", u"FindMacro", 0x41, -1));
        REQUIRE(scope.fake.debugOutput.size() == 1);
        CHECK(scope.fake.debugOutput[0] == u"FindMacro:\t0041\t-1");
    }

    TEST_CASE("an argument passed as a callable is built only when someone takes the line") {
        FakeScope scope;
        scope.fake.debuggerPresent = false;
        int built = 0;
        const auto costly = [&] {
            ++built;
            return std::u16string(u"4120AC");
        };
        CHECK(DebugLog(u"SendText %s", costly));
        CHECK(built == 0);
        CHECK(scope.fake.debugOutput.empty());
        scope.fake.debuggerPresent = true;
        CHECK(DebugLog(u"SendText %s\t%d", costly, 5));
        CHECK(built == 1);
        CHECK(scope.fake.debugOutput == std::vector<std::u16string>{u"SendText 4120AC\t5"});
    }

    TEST_CASE("with a viewer the line is in the block when the viewer is told") {
        FakeScope scope;
        Viewer viewer(scope.fake);
        CHECK(DebugWrite(u"PROCESS:\tx"));
        REQUIRE(viewer.seen.size() == 1);
        CHECK(Viewer::Text(viewer.seen[0], 10) == u"PROCESS:\tx");
        CHECK(viewer.seen[0][20] == 0);  // a fresh clear leaves zeros behind the text
        CHECK(scope.fake.debugOutput == std::vector<std::u16string>{u"PROCESS:\tx"});
        const auto& msg = scope.fake.sent.back();
        CHECK(msg.wnd == viewer.wnd);
        CHECK(msg.msg == 0x464);
        CHECK(msg.wParam == 1);
        CHECK(msg.lParam == 0);
        // our own view and handle were released: only the viewer's remain
        CHECK(scope.fake.OpenHandles() == 1);
        CHECK(scope.fake.MappedViews() == 1);
    }

    TEST_CASE("a shorter line after a longer one shows no remains of it") {
        FakeScope scope;
        Viewer viewer(scope.fake);
        (void)DebugWrite(u"a much longer line");
        (void)DebugWrite(u"short");
        REQUIRE(viewer.seen.size() == 2);
        CHECK(Viewer::Text(viewer.seen[1], 6) == std::u16string(u"short\0", 6));
    }

    TEST_CASE("a line of 512 code units fills the block") {
        FakeScope scope;
        Viewer viewer(scope.fake);
        std::u16string line(512, u'\u00E4');
        line[0] = u'<';
        line[511] = u'>';
        (void)DebugWrite(line);
        REQUIRE(viewer.seen.size() == 1);
        CHECK(Viewer::Text(viewer.seen[0], 512) == line);
    }

    TEST_CASE("a longer line is cut in the block but whole in the debugger output") {
        FakeScope scope;
        Viewer viewer(scope.fake);
        std::u16string line;
        for (int i = 0; i < 700; ++i) line.push_back(static_cast<char16_t>(u'A' + i % 26));
        (void)DebugWrite(line);
        REQUIRE(viewer.seen.size() == 1);
        CHECK(Viewer::Text(viewer.seen[0], 512) == line.substr(0, 512));
        REQUIRE(scope.fake.debugOutput.size() == 1);
        CHECK(scope.fake.debugOutput[0] == line);
    }

    TEST_CASE("a viewer without its block: the line still reaches the debugger") {
        FakeScope scope;
        Viewer viewer(scope.fake, false);
        CHECK(DebugWrite(u"2.\tno block"));
        CHECK(scope.fake.debugOutput == std::vector<std::u16string>{u"2.\tno block"});
        CHECK(scope.fake.sent.empty());  // nothing to tell the viewer
        CHECK(scope.fake.OpenHandles() == 0);
    }

    TEST_CASE("failures of the view or the handle stay inside and free everything") {
        FakeScope scope;
        Viewer viewer(scope.fake);
        SUBCASE("the view cannot be mapped") {
            scope.fake.failMapView = true;
            CHECK(DebugWrite(u"x"));
            CHECK(viewer.seen.empty());
            CHECK(scope.fake.OpenHandles() == 1);
        }
        SUBCASE("the view cannot be unmapped") {
            scope.fake.failUnmapView = true;
            CHECK(DebugWrite(u"x"));
            CHECK(viewer.seen.size() == 1);
            CHECK(scope.fake.OpenHandles() == 1);  // the handle is closed all the same
        }
        SUBCASE("the handle cannot be closed") {
            scope.fake.failCloseHandle = true;
            CHECK(DebugWrite(u"x"));
            CHECK(viewer.seen.size() == 1);
            CHECK(scope.fake.MappedViews() == 1);  // the view went all the same
        }
        CHECK(scope.fake.debugOutput == std::vector<std::u16string>{u"x"});
    }

    TEST_CASE("a viewer that throws from its handler does not stop the line") {
        FakeScope scope;
        Viewer viewer(scope.fake);
        scope.fake.RemoveWindow(viewer.wnd);
        scope.fake.AddWindow(u"TDebugWindowDisplay", u"DebugWindow (Unicode)",
                             [](HWnd, std::uint32_t, WParam, LParam) -> LResult {
                                 throw std::runtime_error("viewer broke");
                             });
        CHECK(DebugWrite(u"y"));
        CHECK(scope.fake.debugOutput == std::vector<std::u16string>{u"y"});
        CHECK(scope.fake.OpenHandles() == 1);
        CHECK(scope.fake.MappedViews() == 1);
    }

    TEST_CASE("a hung viewer does not block the line") {
        FakeScope scope;
        Viewer viewer(scope.fake);
        scope.fake.SetHung(viewer.wnd, true);
        CHECK(DebugWrite(u"z"));
        CHECK(viewer.seen.empty());
        REQUIRE(scope.fake.sent.size() == 1);  // tried once, with a time-out
        CHECK(scope.fake.debugOutput == std::vector<std::u16string>{u"z"});
        CHECK(scope.fake.OpenHandles() == 1);
    }

    TEST_CASE("the viewer is looked for at most every 250 ms; one started is found in that time") {
        FakeScope scope;
        (void)DebugWrite(u"before");
        Viewer viewer(scope.fake);
        scope.fake.counts = {};
        (void)DebugWrite(u"too soon");  // the last look is still fresh: no window call
        CHECK(scope.fake.counts.windows == 0);
        scope.fake.tickCount += kViewerLookIntervalMs;
        (void)DebugWrite(u"during");
        (void)DebugWrite(u"and again");
        CHECK(scope.fake.counts.windows == 1);
        // Closed: the next line finds its window gone and stops using it at once.
        scope.fake.RemoveWindow(viewer.wnd);
        (void)DebugWrite(u"after");
        scope.fake.counts = {};
        (void)DebugWrite(u"after that");
        CHECK(scope.fake.counts.messages == 0);
        REQUIRE(viewer.seen.size() == 2);
        CHECK(Viewer::Text(viewer.seen[1], 9) == u"and again");
        CHECK(scope.fake.debugOutput.size() == 6);
        CHECK(FindDebugWindow() == 0);
    }

    TEST_CASE("a viewer replaced by a new one: the new one gets the lines after the next look") {
        FakeScope scope;
        auto* old = new Viewer(scope.fake);
        (void)DebugWrite(u"to the old one");
        REQUIRE(old->seen.size() == 1);
        // It goes, block and window; a new one starts at once.
        scope.fake.RemoveWindow(old->wnd);
        scope.fake.UnmapViewOfFile(const_cast<std::uint8_t*>(old->view));
        scope.fake.CloseHandle(old->block);
        delete old;
        Viewer fresh(scope.fake);
        (void)DebugWrite(u"lost: the old handle");
        scope.fake.tickCount += kViewerLookIntervalMs;
        (void)DebugWrite(u"to the new one");
        REQUIRE(fresh.seen.size() == 1);
        CHECK(Viewer::Text(fresh.seen[0], 14) == u"to the new one");
    }

    TEST_CASE("a slow viewer costs a hook call 200 ms at most, then a second of nothing") {
        FakeScope scope;
        Viewer viewer(scope.fake);
        // Each line answered in 150 ms: in time, but two would take too long.
        scope.fake.SetAnswerDelay(viewer.wnd, 150);
        const std::uint32_t start = scope.fake.tickCount;
        {
            TLogScope call;
            for (int i = 0; i < 10; ++i) (void)DebugWrite(u"line");
        }
        CHECK(scope.fake.tickCount - start == kViewerTimeoutMs);
        CHECK(viewer.seen.size() == 1);
        CHECK(scope.fake.debugOutput.size() == 10);  // the debugger output has them all
        // The next hook calls within the second do not wait for it at all.
        scope.fake.tickCount += kViewerRetryMs - 1;
        scope.fake.counts = {};
        const std::uint32_t later = scope.fake.tickCount;
        (void)DebugWrite(u"left alone");
        CHECK(scope.fake.tickCount == later);
        CHECK(scope.fake.counts.messages == 0);
        // A second after it went silent it is tried again, and answers in time.
        scope.fake.tickCount += 1;
        scope.fake.SetAnswerDelay(viewer.wnd, 0);
        (void)DebugWrite(u"back");
        REQUIRE(viewer.seen.size() == 2);
        CHECK(Viewer::Text(viewer.seen[1], 4) == u"back");
        CHECK(scope.fake.OpenHandles() == 1);
    }

    TEST_CASE("a viewer that answers each line after 0.9 s is waited for once, 200 ms") {
        FakeScope scope;
        Viewer viewer(scope.fake);
        scope.fake.SetAnswerDelay(viewer.wnd, 900);
        const std::uint32_t start = scope.fake.tickCount;
        for (int call = 0; call < 6; ++call) {
            TLogScope hookCall;
            for (int i = 0; i < 5; ++i) (void)DebugWrite(u"PROCESS:\tline");
            scope.fake.tickCount += 100;  // the next key 100 ms later
        }
        CHECK(scope.fake.tickCount - start == kViewerTimeoutMs + 6 * 100);
        CHECK(scope.fake.debugOutput.size() == 30);
    }

    TEST_CASE("a block of another program that is only reserved is never written") {
        FakeScope scope;
        scope.fake.AddReservedMapping(1024, u"SHMEM_1024");
        HWnd wnd = scope.fake.AddWindow(u"TDebugWindowDisplay", u"DebugWindow (Unicode)");
        CHECK(DebugWrite(u"not into reserved pages"));
        CHECK(scope.fake.sent.empty());  // not told either: nothing was written
        CHECK(scope.fake.debugOutput == std::vector<std::u16string>{u"not into reserved pages"});
        CHECK(scope.fake.OpenHandles() == 0);
        CHECK(scope.fake.MappedViews() == 0);
        (void)wnd;
    }

    TEST_CASE(
        "the debugger output only with a debugger or the Diagnose switch; the viewer always") {
        FakeScope scope;
        Viewer viewer(scope.fake);
        scope.fake.debuggerPresent = false;
        RegPath = kDefaultRegPath;
        OpenOptions(HKEY_CURRENT_USER);
        const std::u16string settings = u"Software\\Quellmark\\Vantor32\\Settings";
        const std::u16string line =
            u"PROCESS:\tVK:0041\tSC:1E\tRC:1\tFlags:xiidmarl\t[A]\tDN\t00000000";
        const auto next = [&] { scope.fake.tickCount += kDiagnoseReadIntervalMs; };

        CHECK(DebugLog(u"%s", line));
        CHECK(scope.fake.debugOutput.empty());
        scope.fake.SetRegBinary(HKEY_CURRENT_USER, settings, u"Diagnose", {1});
        next();
        (void)DebugLog(u"%s", line);
        CHECK(scope.fake.debugOutput.size() == 1);
        scope.fake.SetRegBinary(HKEY_CURRENT_USER, settings, u"Diagnose", {0});
        next();
        (void)DebugWrite(line);
        scope.fake.SetRegDword(HKEY_CURRENT_USER, settings, u"Diagnose", 1);  // wrong type: off
        next();
        (void)DebugWrite(line);
        CHECK(scope.fake.debugOutput.size() == 1);
        scope.fake.debuggerPresent = true;
        (void)DebugWrite(line);
        CHECK(scope.fake.debugOutput == std::vector<std::u16string>{line, line});

        REQUIRE(viewer.seen.size() == 5);
        for (const auto& block : viewer.seen) {
            CHECK(Viewer::Text(block, line.size() + 1) == line + u'\0');
        }
        VantorUtilsDone();
        RegPath = kDefaultRegPath;
    }

    TEST_CASE(
        "writers hold the lock while the viewer reads; a lock held too long drops only that copy") {
        FakeScope scope;
        Viewer viewer(scope.fake);
        (void)DebugWrite(u"one");
        CHECK(viewer.locked == std::vector<bool>{true});
        CHECK_FALSE(scope.fake.MutexOwned(kDebugMutexName));
        CHECK(scope.fake.OpenHandles() ==
              1);  // the lock is closed again, the block is the viewer's

        // Three lines in one scope: one look for the viewer, each line whole in the block.
        scope.fake.tickCount += kViewerLookIntervalMs;
        scope.fake.counts = {};
        {
            TLogScope call;
            (void)DebugWrite(u"two");
            (void)DebugLog(u"%s", u"three");
            (void)DebugWrite(u"four");
        }
        CHECK(scope.fake.counts.windows == 1);
        REQUIRE(viewer.seen.size() == 4);
        CHECK(Viewer::Text(viewer.seen[3], 5) == std::u16string(u"four\0", 5));
        CHECK(scope.fake.OpenHandles() == 1);

        // Another writer keeps the lock: this line's viewer copy is dropped after one wait,
        // and the rest of the scope does not wait again. The debugger output has them all.
        scope.fake.mutexesHeldElsewhere.insert(kDebugMutexName);
        const std::uint32_t before = scope.fake.tickCount;
        {
            TLogScope call;
            (void)DebugWrite(u"five");
            (void)DebugWrite(u"six");
        }
        CHECK(scope.fake.tickCount - before == kViewerTimeoutMs);
        CHECK(viewer.seen.size() == 4);
        CHECK(scope.fake.debugOutput.size() == 6);
        scope.fake.mutexesHeldElsewhere.clear();
        scope.fake.tickCount += kViewerRetryMs;  // left alone for a second after the wait
        (void)DebugWrite(u"seven");
        REQUIRE(viewer.seen.size() == 5);
        CHECK(Viewer::Text(viewer.seen[4], 6) == std::u16string(u"seven\0", 6));
        CHECK(scope.fake.OpenHandles() == 1);
    }

    TEST_CASE("the window must match class and title") {
        FakeScope scope;
        scope.fake.AddWindow(u"TDebugWindowDisplay", u"DebugWindow");
        CHECK(FindDebugWindow() == 0);
        HWnd w = scope.fake.AddWindow(u"TDebugWindowDisplay", u"DebugWindow (Unicode)");
        CHECK(FindDebugWindow() == w);
    }
}

TEST_SUITE("TSharedMemory") {
    TEST_CASE("opening a missing block raises with the system code") {
        FakeScope scope;
        CHECK(ErrorOf([] { TSharedMemory m(1024, false); }) == u"CreateFileMapping failed (2)");
    }

    TEST_CASE("a failed view raises and closes the handle") {
        FakeScope scope;
        scope.fake.failMapView = true;
        CHECK(ErrorOf([] { TSharedMemory m(64, true); }) == u"MapViewOfFile failed (8)");
        CHECK(scope.fake.OpenHandles() == 0);
    }

    TEST_CASE("create names the block by its size and clears a new one") {
        FakeScope scope;
        TSharedMemory a(64, true);
        REQUIRE(a.MemPtr() != nullptr);
        CHECK(a.fSize == 64);
        a.SetAsString(u"hello");
        {
            TSharedMemory b(64, false);                       // opens the same block
            CHECK(std::memcmp(b.MemPtr(), u"\0\0", 4) == 0);  // the open clears it
        }
        // a second create finds it and leaves the content alone
        a.SetAsString(u"hi");
        TSharedMemory c(64, true);
        CHECK(std::memcmp(c.MemPtr(), u"hi", 4) == 0);
        CHECK(scope.fake.OpenHandles() == 2);
    }

    TEST_CASE("SetAsString copies at most the block and writes no terminator") {
        FakeScope scope;
        TSharedMemory m(8, true);
        auto* bytes = static_cast<std::uint8_t*>(m.MemPtr());
        std::memset(bytes, 0xAA, 8);
        m.SetAsString(u"ab");
        CHECK(bytes[4] == 0xAA);
        m.SetAsString(u"abcdef");
        CHECK(std::memcmp(bytes, u"abcd", 8) == 0);
    }

    TEST_CASE("writing without a view raises No Shared Memory") {
        FakeScope scope;
        TSharedMemory m(8, true);
        void* p = m.MemPtr();
        m.SetMemPtr(nullptr);
        CHECK(ErrorOf([&] { m.SetAsString(u"x"); }) == u"No Shared Memory");
        m.SetMemPtr(p);
    }

    TEST_CASE("a view of reserved pages is not written: the write raises, the pages stay") {
        FakeScope scope;
        scope.fake.AddReservedMapping(1024, u"SHMEM_1024");
        TSharedMemory m(1024, false);
        CHECK_FALSE(m.Writable());
        CHECK(ErrorOf([&] { m.SetAsString(u"x"); }) == u"Shared Memory not writable");
        TSharedMemory ours(64, true);
        CHECK(ours.Writable());
    }

    TEST_CASE("Close raises the unmap and close failures after releasing both") {
        FakeScope scope;
        {
            TSharedMemory m(8, true);
            scope.fake.failUnmapView = true;
            CHECK(ErrorOf([&] { m.Close(); }) == u"UnMapViewOfFile error");
            scope.fake.failUnmapView = false;
            CHECK(m.handle == 0);
            CHECK(m.MemPtr() == nullptr);
            CHECK(ErrorOf([&] { m.Close(); }) == u"<no error>");  // nothing left to do
        }
        CHECK(scope.fake.OpenHandles() == 0);
        int viewsLeft = scope.fake.MappedViews();  // the view that refused to go
        {
            TSharedMemory m(8, true);
            scope.fake.failCloseHandle = true;
            CHECK(ErrorOf([&] { m.Close(); }) == u"CloseHendl error");
            scope.fake.failCloseHandle = false;
            CHECK(m.handle == 0);
        }
        CHECK(scope.fake.MappedViews() == viewsLeft);
    }

    TEST_CASE("the destructor raises its failure when nothing else is in flight") {
        FakeScope scope;
        CHECK(ErrorOf([&] {
                  TSharedMemory m(8, true);
                  scope.fake.failUnmapView = true;
              }) == u"UnMapViewOfFile error");
        scope.fake.failUnmapView = false;
        CHECK(scope.fake.OpenHandles() == 0);
    }

    TEST_CASE("the destructor drops its failure while another exception unwinds") {
        FakeScope scope;
        std::string what;
        try {
            TSharedMemory m(8, true);
            scope.fake.failCloseHandle = true;
            throw std::runtime_error("first");
        } catch (const std::runtime_error& e) {
            what = e.what();
        }
        scope.fake.failCloseHandle = false;
        CHECK(what == "first");
    }
}

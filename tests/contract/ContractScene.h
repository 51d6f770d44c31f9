// What the contract suite needs from the world that the seam itself cannot do: a window
// with a procedure, a child window, an environment variable. One version drives the
// fake, the other (scene.Win32.cpp) the real system.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace vt::contract {

// The platform under test, installed by main().
Platform& PlatformUnderTest();

// A top-level window of that class and title whose procedure answers `msg` with
// `answer` (and everything else the default way).
HWnd CreateSceneWindow(const std::u16string& className, const std::u16string& title,
                       std::uint32_t msg, LResult answer);
// A child window of `parent`, of that class and title.
HWnd CreateSceneChild(HWnd parent, const std::u16string& className, const std::u16string& title);
void DestroySceneWindow(HWnd wnd);

// A named mapping of `size` bytes whose pages are only reserved (SEC_RESERVE), as another
// program may create one under a name we open; it lives until the suite ends.
bool CreateSceneReservedMapping(std::uint32_t size, const std::u16string& name);

// A symbolic registry link at HKEY_LOCAL_MACHINE\linkPath to HKEY_LOCAL_MACHINE\targetPath.
bool CreateSceneLink(const std::u16string& linkPath, const std::u16string& targetPath);

// A window of this thread with the keyboard focus, so that injected keys queue up for
// this thread until ReadSceneInput reads them (the thread's key state takes each as it
// is read); EndSceneInput closes it.
bool FocusSceneInputWindow();
void ReadSceneInput();
void EndSceneInput();

// Sets (value given) or removes (null) a variable of this process's environment.
void SetSceneEnvironment(const std::u16string& name, const std::u16string* value);

// Injects the events into an edit control of this thread that has the focus, with a
// WH_KEYBOARD hook of this thread installed, and returns once the thread has read them
// all: the text the edit shows, and the GetKeyState of `watch` as the hook saw it at each
// press of that key (which the hook swallows when `swallow`).
// The events go into the input stream with one SendInput call; `hooked` is what the hook
// saw of each (wParam, lParam), in order.
struct SceneTyping {
    std::u16string text;
    std::vector<std::int16_t> watchedInHook;
    std::vector<std::pair<WParam, LParam>> hooked;
};
SceneTyping TypeIntoScene(const std::vector<KeyInput>& events, int watch = 0, bool swallow = false);

}  // namespace vt::contract

#pragma once

// Driving the window from its tests by messages, as a user's keys and clicks would: the modal
// dialogs, message boxes and menus that a command opens are found by a timer of the test's
// thread, which runs inside their modal loops, and handled by the test's action.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Why this program can show no windows (no display for Wine), or empty when it can.
std::string DisplayMissing();
// Registers the common controls as the program does.
void InitControls();

// The base of the window tests: skips with the reason when this program can show no windows,
// else registers the common controls.
class CWinTest : public ::testing::Test {
protected:
    void SetUp() override;
};

// Runs action once on the first visible window of this thread of that class ("#32770" for a
// dialog or message box, "#32768" for a menu) and caption (any caption when empty) that shows
// up while the watch lives.
class CWindowWatch {
public:
    CWindowWatch(std::wstring windowClass, std::wstring caption, std::function<void(HWND)> action);
    ~CWindowWatch();
    CWindowWatch(const CWindowWatch&) = delete;
    CWindowWatch& operator=(const CWindowWatch&) = delete;
    bool Seen() const { return m_seen; }

    // Called by the timer.
    void Offer(HWND hWnd);

private:
    std::wstring m_class;
    std::wstring m_caption;
    std::function<void(HWND)> m_action;
    bool m_seen = false;
};

// Answers the next message box of the program (caption: the program's name) with OK and keeps
// its text.
class CMessageBoxWatch {
public:
    CMessageBoxWatch();
    bool Seen() const { return m_watch.Seen(); }
    const std::wstring& Text() const { return m_text; }

private:
    std::wstring m_text;
    CWindowWatch m_watch;
};

// Pumps this thread's messages until done() or the time is up; done()'s last answer.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 15000);
// Pumps for a while.
void PumpFor(int ms);

// A click on a button of a dialog, posted as the button posts it.
void PostClick(HWND dialog, int id);
// The texts of a window's static children, joined by newlines (a message box's text).
std::wstring StaticTexts(HWND hWnd);
std::wstring TextOf(HWND hWnd);
std::wstring ItemText(HWND dialog, int id);
void SetIp(HWND dialog, int id, uint32_t address);
uint32_t GetIp(HWND dialog, int id);
// The four field edits of an IP address control, left to right.
std::vector<HWND> IpFields(HWND dialog, int id);
// Gives a control the focus and types the characters, each into the control that has the
// focus by then (an IP address control moves on to its next field at a dot).
void TypeText(HWND control, const std::wstring& text);
uint32_t Ip(int a, int b, int c, int d);

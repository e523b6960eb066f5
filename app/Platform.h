#pragma once

#include <QString>

class QWidget;

#include <cstdint>
#include <functional>

// What the window asks of the operating system, behind calls shaped like the
// ones it was designed for, so that tests can stand in for them.
struct OsVersionInfo
{
    std::uint32_t size = 0;      // set to kSize by the caller
    std::int32_t platformId = 0; // 0 Win32s, 1 Windows 9x, 2 NT family: all the program asks

    static constexpr std::uint32_t kSize = 148;
};

struct Platform
{
    // Fills in the version record; false if it cannot. On Linux the system
    // counts as the newer family (platform 2).
    std::function<bool(OsVersionInfo &)> getVersionEx;
    // Starts a program by its full path, without arguments, without waiting
    // and without a shell; false when it cannot be started. On Linux a
    // Windows path starts nothing. `windowStyle` 1
    // asks for a normal, focused window.
    std::function<bool(const QString &path, int windowStyle)> startProgram;
    // Asks the user for a file through the desktop's file dialog: one to
    // open or, with `save`, one to write, named `suggested` until the user
    // types another (given its suffix when the name typed has none).
    // `filter` as Qt's file dialogs take it: "Pattern (*.txt)".
    // Empty when the user cancels. Sounds are looked for in the user's music
    // folder, the rest in the documents folder, then where the last was found.
    using ChooseFile = std::function<QString(QWidget *parent, const QString &title, const QString &filter,
                                             const QString &suggested, bool save)>;
    ChooseFile chooseFile;
    // Asks the user a yes-or-no question before something is lost; "No" is
    // the default. True for yes.
    using Ask = std::function<bool(QWidget *parent, const QString &question)>;
    Ask ask;
    // Asks with a button for each of `choices` (the first the default, the
    // last what Escape or the window's close gives): the index pressed.
    using Choose = std::function<int(QWidget *parent, const QString &question, const QStringList &choices)>;
    Choose choose;

    static Platform system();
};

// A registration left for a later sign-in: when no dictionary set in use could take the
// dictionary, a package leaves a value in the user's Run key that starts "dicreport.exe /quiet"
// at each sign-in, until a registration succeeds and takes it away.
#pragma once

#include <string>
#include <vector>

namespace report {

inline const std::u16string kRunKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline const std::u16string kQuietSwitch = u"/quiet";

// The command such a value holds for the program (dicreport.exe's full path).
std::u16string PendingCommand(const std::u16string& program);

// The names of the Run values that hold the program's command, compared without regard to
// letter case; other values are never looked at twice.
std::vector<std::u16string> PendingEntries(const std::u16string& program);

// Deletes those values: the registration is done, and must never run again by itself.
void ForgetPending(const std::u16string& program);

}  // namespace report

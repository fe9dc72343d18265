// The maker of the update window, which the main window calls when the update road is first
// taken. Builds without the update road give an empty maker: the main window then has none.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "platform/ShellOpen.h"
#include "platform/UserMessages.h"

namespace kessmar {

class TfrmUpdate;

// A maker that puts the update window in holder (which owns it) and returns it; the window
// calls endProgram when an installation needs the program to end. Never throws.
std::function<TfrmUpdate*()> UpdateWindowMaker(std::unique_ptr<QWidget>& holder,
                                               UserMessages& messages, ShellOpen& shell,
                                               std::function<void()> endProgram);

}  // namespace kessmar

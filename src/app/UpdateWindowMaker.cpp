#include "app/UpdateWindowMaker.h"

#include "update/TfrmUpdate.h"

namespace kessmar {

std::function<TfrmUpdate*()> UpdateWindowMaker(std::unique_ptr<QWidget>& holder,
                                               UserMessages& messages, ShellOpen& shell,
                                               std::function<void()> endProgram) {
  return [&holder, &messages, &shell, endProgram = std::move(endProgram)] {
    auto window = std::make_unique<TfrmUpdate>(messages, shell);
    window->EndProgram = endProgram;
    TfrmUpdate* made = window.get();
    holder = std::move(window);
    return made;
  };
}

}  // namespace kessmar

// The Windows build has no update road yet, so there is no update window to make.
#include "app/UpdateWindowMaker.h"

namespace kessmar {

std::function<TfrmUpdate*()> UpdateWindowMaker(std::unique_ptr<QWidget>&, UserMessages&, ShellOpen&,
                                               std::function<void()>) {
  return nullptr;
}

}  // namespace kessmar

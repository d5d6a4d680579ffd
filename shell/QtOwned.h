// Qt objects whose owner is Qt: a widget or layout deleted with its parent (or
// with the layout or menu it is handed to), a dialog that deletes itself when
// it closes. They are made here, the one place where such an object comes
// from a plain new.
#pragma once

#include <utility>

template <typename T, typename... Args>
T* QtOwned(Args&&... args) {
    return new T(
        std::forward<Args>(args)...);  // NOLINT(cppcoreguidelines-owning-memory): Qt owns it, see above
}

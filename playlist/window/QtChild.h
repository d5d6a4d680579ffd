// Widgets, layouts and actions owned by their Qt parent.
#pragma once

#include <utility>

// Makes a T that its Qt parent (among the arguments, or the layout or widget
// it is added to next) owns and deletes; the caller keeps a plain pointer.
template <class T, class... Args>
T* MakeChild(Args&&... args) {
    return new T(
        std::forward<Args>(args)...);  // NOLINT(cppcoreguidelines-owning-memory): the Qt parent owns it
}

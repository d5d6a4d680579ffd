#include "shell/Docking.h"

#include <algorithm>

bool IsHorizontalTaskbar(const TRect& taskbar) {
    return taskbar.width() > taskbar.height();
}

TPoint TaskbarToScreen(const TRect& taskbar, TPoint inTaskbar) {
    return {taskbar.x1 + inTaskbar.x, taskbar.y1 + inTaskbar.y};
}

TPoint ScreenToTaskbar(const TRect& taskbar, TPoint onScreen) {
    return {onScreen.x - taskbar.x1, onScreen.y - taskbar.y1};
}

TDockPlacement PlaceInTaskbar(const TDockInput& in) {
    TDockPlacement out;
    out.horizontal = IsHorizontalTaskbar(in.taskbar);
    if (out.horizontal) {
        out.miniInTaskbar = {ScreenToTaskbar(in.taskbar, {in.notifyArea.x2 + 1, 0}).x, 0};
        out.miniOnScreen = TaskbarToScreen(in.taskbar, out.miniInTaskbar);
        out.playlist = {out.miniOnScreen.x + in.miniWidth - in.playlistWidth,
                        in.screenHeight - in.playlistHeight - in.taskbar.height()};
    } else {
        out.miniInTaskbar = {0, ScreenToTaskbar(in.taskbar, {0, in.notifyArea.y2 + 1}).y};
        out.miniOnScreen = TaskbarToScreen(in.taskbar, out.miniInTaskbar);
        out.playlist = {in.screenWidth - in.playlistWidth - in.taskbar.width() - 1,
                        in.screenHeight - in.playlistHeight};
    }
    return out;
}

TFloatPlacement PlaceFloating(const TRect& workArea, int miniWidth, int miniHeight, int playlistWidth,
                              int playlistHeight) {
    TFloatPlacement out;
    out.mini = {workArea.x2 - miniWidth, workArea.y2 - miniHeight};
    out.playlist = {std::max(workArea.x1, out.mini.x + miniWidth - playlistWidth),
                    std::max(workArea.y1, out.mini.y - playlistHeight)};
    return out;
}

TPoint ContextMenuPosition(const TRect& miniOnScreen, int screenHeight, const TRect& taskbar) {
    TPoint at{miniOnScreen.x2, miniOnScreen.y1};
    if (at.y >= screenHeight) at.y = screenHeight - taskbar.height();
    return at;
}

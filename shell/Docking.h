// Where the mini window, the playlist window and the context menu go: the
// arithmetic of docking the strip into a taskbar, and of the floating strip
// when the desktop has no taskbar. No Qt, no X11: rectangles in, points out.
//
// Rectangles follow the window system's convention: right and bottom are one
// past the last pixel. Screen coordinates unless a name says otherwise; a
// position inside the taskbar (the docked strip's parent) is relative to the
// taskbar's top-left corner.
#pragma once

#include "shell/Ufuncs.h"

struct TPoint {
    int x = 0;
    int y = 0;
    bool operator==(const TPoint&) const = default;
};

// A taskbar wider than high lies along the top or bottom edge; any other shape,
// a square one too, counts as vertical.
bool IsHorizontalTaskbar(const TRect& taskbar);

// Between the taskbar's own coordinates and the screen's. Every position that
// moves from one to the other goes through these, so a taskbar that does not
// start at the screen's top-left corner still gets the strip in the right place.
TPoint TaskbarToScreen(const TRect& taskbar, TPoint inTaskbar);
TPoint ScreenToTaskbar(const TRect& taskbar, TPoint onScreen);

struct TDockInput {
    TRect taskbar;     // the taskbar's window rectangle
    TRect notifyArea;  // the notification area's window rectangle
    int miniWidth = 0;
    int miniHeight = 0;
    int playlistWidth = 0;
    int playlistHeight = 0;
    int screenWidth = 0;
    int screenHeight = 0;
};

struct TDockPlacement {
    bool horizontal = true;
    TPoint miniInTaskbar;  // the strip's top-left corner inside the taskbar
    TPoint miniOnScreen;   // the same corner on the screen
    TPoint playlist;       // the playlist window's top-left corner
};

// The strip goes one pixel past the notification area's far edge: right of it
// in a horizontal taskbar (top edge of the taskbar), below it in a vertical one
// (left edge). The playlist window goes above a bottom taskbar with its right
// edge on the strip's right edge, or left of a right-hand taskbar at the
// bottom of the screen; a taskbar at the top or the left still puts it at the
// bottom or the right of the screen.
TDockPlacement PlaceInTaskbar(const TDockInput& in);

struct TFloatPlacement {
    TPoint mini;
    TPoint playlist;
};

// No taskbar: the strip floats at the bottom-right corner of the work area;
// the playlist window stands on it, right edges aligned, kept inside the work
// area's top and left.
TFloatPlacement PlaceFloating(const TRect& workArea, int miniWidth, int miniHeight, int playlistWidth,
                              int playlistHeight);

// The context menu opens at the strip's top-right corner (on the screen). A
// strip whose top lies at or below the screen's bottom edge would put it off
// the screen: then it opens at the taskbar's top, the screen's height less the
// taskbar's height.
TPoint ContextMenuPosition(const TRect& miniOnScreen, int screenHeight, const TRect& taskbar);

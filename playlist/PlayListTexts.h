// The user-visible texts of the playlist commands, shared by the model (which
// asks its questions through IPlayListDialogs) and the playlist window.
#pragma once

namespace plt {

inline constexpr const char* kCaption = "Quillet";

// The list that always exists at row 0 and is never saved.
inline constexpr const char* kTemporaryListName = "<临时播放列表>";

// Adding files.
inline constexpr const char* kEngineNotReady = "Cannot open file (VaviVerovu is not ready)";
inline constexpr const char* kEngineNotReadyCaption = "Confirm";
inline constexpr const char* kNativeFilterPrefix = "BASS native files (";

// Adding a URL.
inline constexpr const char* kUrlCaption = "输入URL地址";
inline constexpr const char* kUrlPrompt = "URL:";

// New list, save list as, rename.
inline constexpr const char* kNewListName = "新建列表 ";
inline constexpr const char* kListNameCaption = "输入列表名称";
inline constexpr const char* kListNamePrompt = "列表名称:";
inline constexpr const char* kRenamePrompt = "列表名称: ";

// Confirmations.
inline constexpr const char* kConfirmClear = "真的要清空这个列表吗? ";
inline constexpr const char* kConfirmDeleteList = "确实要删除这个列表吗？";

// The target-list picker.
inline constexpr const char* kPickerCaption = "选择目标列表";
inline constexpr const char* kPickerOk = "确认";
inline constexpr const char* kPickerCancel = "取消";

}  // namespace plt

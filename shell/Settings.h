// The settings file quillet.xml: per skin, the order and visibility of the
// mini window's controls. No Qt.
//
// The document element is whatever the file has (`quillet` when we create
// it); below it one element per skin archive, named after the archive's file
// name. Only the current skin's element is read or written; every writer loads
// the whole document, changes one element and saves the whole document back,
// so other elements and any other content survive.
//
// A file the XML parser rejects is treated as absent when read and is never
// overwritten: before a new one is written it is moved aside to
// quillet.xml.bad, and notice() then holds a text for the user, once.
//
// Not thread-safe; used on the user-interface thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The four attributes of a skin element; nullopt when absent.
struct TSkinSettings {
    std::optional<std::string> buttonOrder;   // button_order
    std::optional<std::string> buttonCheck;   // button_check
    std::optional<std::string> progressShow;  // progress_show
    std::optional<std::string> volumnShow;    // volumn_show
};

// A bar is hidden only when its value, upper-cased, is "FALSE"; an absent or
// any other value shows it.
bool SettingShowsBar(const std::optional<std::string>& value);
// A button_check entry means visible only when it is exactly "y".
bool SettingShowsButton(std::string_view entry);
// The words of a plain comma list ("a,b,,c" -> a, b, "", c; "" -> none).
std::vector<std::string> SplitSettingList(std::string_view list);

// The element name used for a skin's file name. A name that is a valid XML
// name stays as it is; otherwise every character that may not stand at its
// place becomes _xHHHH_ (its code point in hexadecimal, 4 or 8 digits), and a
// '_' that would read as the start of such an escape becomes _x005F_. A byte
// that is not part of valid UTF-8 becomes _xDCHH_ (HH its value). So
// "1 skin.skn" is "_x0031__x0020_skin.skn". Empty for an empty name.
std::string SkinElementName(std::string_view skinFileName);
// The inverse of SkinElementName.
std::string SkinFileNameFromElement(std::string_view elementName);

// The settings file in a folder: the existing file whose name is
// "quillet.xml" in any letter case ("quillet.xml" itself preferred when
// several exist), else folder + "/quillet.xml".
std::string ResolveSettingsPath(const std::string& folder);

class TSettingsFile {
  public:
    // `folder` holds the settings file (see ResolveSettingsPath).
    explicit TSettingsFile(std::string folder);
    // The settings file is written in folders[0] and read from the first
    // folder that has one (see TUserFolders::configRead). At least one folder.
    explicit TSettingsFile(std::vector<std::string> folders);

    // Read the current skin's element: nullopt when the file is missing or
    // damaged, or has no element for this skin.
    std::optional<TSkinSettings> readSkin(std::string_view skinFileName);

    // Write attributes of the current skin's element (creating the folder,
    // the file and the element as needed). The document read is the one
    // readSkin would read, so a file found in a later folder is carried over
    // to the write folder. False with error() set when the file cannot be
    // written; the file on disk is then unchanged.
    bool writeSkin(std::string_view skinFileName,
                   const std::vector<std::pair<std::string, std::string>>& attributes);

    // The path the last operation read or wrote.
    const std::string& path() const { return m_path; }
    const std::string& error() const { return m_error; }

    // The text to show the user once after a damaged file was moved aside;
    // empty otherwise. Taking it clears it.
    std::string takeNotice();

  private:
    // The settings file to read: the first folder's existing file, or empty.
    std::string existingPath() const;

    std::vector<std::string> m_folders;
    std::string m_path;
    std::string m_error;
    std::string m_notice;
};

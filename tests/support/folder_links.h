// Links to folders for the tests of code that must never follow one.
#pragma once
#include <string>

enum class FolderLinkKind { Junction, SymbolicLink };

// A link at a path that did not exist, pointing at a folder; removed (the
// link alone) when the object ends.
//
// Windows makes a junction (a mount-point reparse point, no privilege
// needed) or a directory symbolic link (Developer Mode or elevation). Wine 8
// makes neither: CreateSymbolicLinkW reports success and creates nothing,
// FSCTL_SET_REPARSE_POINT is not supported. There the link is a Unix
// symbolic link, which Wine lists as a folder with
// FILE_ATTRIBUTE_REPARSE_POINT (and reparse tag 0) but cannot remove.
class FolderLink {
public:
    FolderLink(FolderLinkKind kind, const std::string& link, const std::string& target);
    ~FolderLink();
    FolderLink(const FolderLink&) = delete;
    FolderLink& operator=(const FolderLink&) = delete;

    // Whether the link exists and shows the target's files.
    bool made() const { return made_; }
    // Whether it is a Unix symbolic link made through Wine.
    bool unixLink() const { return unix_; }

private:
    std::string link_;
    bool made_ = false;
    bool unix_ = false;
};

#pragma once
// The About box: name, version from the program's own version resource, copyright, and a link to the
// home page.
#include <windows.h>

#include <string>

namespace tarnwick::win32 {

class AboutBox {
  public:
    // Fills the texts once, when they are first needed (most runs never show the box); later shows do
    // not read them again. instance: the module that holds the application icon and whose version
    // resource is read.
    AboutBox(HINSTANCE instance, const std::string& appTitle);
    AboutBox(const AboutBox&) = delete;
    AboutBox& operator=(const AboutBox&) = delete;

    // Modal over owner; returns when the dialog is closed. IDOK from the OK button or Enter, IDCANCEL
    // from Esc or the close box, -1 when the dialog could not be made.
    INT_PTR ShowModal(HWND owner);

    struct Texts {
        std::string caption, productName, version, copyright, comments, homePage;
    };
    const Texts& GetTexts() const;
    const std::string& VersionText() const;

  private:
    void FillTexts() const;

    HINSTANCE instance_;
    std::string appTitle_;
    mutable bool filled_ = false;
    mutable std::string versionText_;
    mutable Texts texts_;
};

} // namespace tarnwick::win32

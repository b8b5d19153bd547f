// Shows the About box once, with no owner. Exit code: 0 after OK or Enter, 1 after Esc or the close
// box, 2 when the box could not be shown.
#include "common/product.h"
#include "ui/win32/about_box.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    tarnwick::win32::AboutBox about(instance, tarnwick::ProgramName);
    switch (about.ShowModal(nullptr)) {
    case IDOK:
        return 0;
    case IDCANCEL:
        return 1;
    default:
        return 2;
    }
}

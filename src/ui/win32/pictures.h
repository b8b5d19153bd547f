#pragma once
// The main window's pictures: the toolbar set and the floppy disk of the Save and Forget buttons,
// drawn from 16 x 16 pixel art and scaled to the size the caller asks for (the DPI-scaled small icon
// size). Empty when the size is not positive or the system refuses the list.
#include <windows.h>
#include <commctrl.h>
#include <vsstyle.h>

#include "common/win32/handles.h"

namespace tarnwick::win32 {

// Indices into the toolbar list that hold a drawing; the others are transparent blanks.
enum ToolbarImage : int {
    ImageNewPage = 6,
    ImageRunningVms = 10,
    ImageHourglass = 11,
    ImageWasteBin = 16,
    ImageArrowUp = 18,
    ImageArrowDown = 19,
    ImageRocket = 20,
    ImageAlarmClock = 21,
    ImagePrompt = 22,
};
constexpr int ToolbarImageCount = 23;

// The floppy list holds one image per push-button state, in the order BUTTON_IMAGELIST expects
// (PBS_NORMAL .. PBS_STYLUSHOT); all are in colour except the disabled one, which is greyed.
constexpr int FloppyImageCount = 6;
constexpr int FloppyDisabledIndex = PBS_DISABLED - 1;

UniqueImageList CreateToolbarImages(int size);
UniqueImageList CreateFloppyImages(int size);

} // namespace tarnwick::win32

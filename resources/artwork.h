#pragma once

#include <QIcon>
#include <QImage>

namespace sorvina::resources {

// The program's pictures, drawn in code so that the repository holds their source rather
// than opaque files. Each call draws afresh.

// Bitmap resource `id` (kIdbWatermark, kIdbDonation) at its natural size, 24-bit RGB;
// a null image for any other id.
QImage LoadBitmapResource(int id);

// The program icon (kIdiProgram) drawn at `size` x `size` pixels, with transparency.
QImage RenderProgramIcon(int size);

// The program icon at the sizes a window manager asks for.
QIcon ProgramIcon();

}  // namespace sorvina::resources

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QImage>
#include <QSize>
#include <QString>

namespace sorvina::resources {

// The program's pictures, drawn in code so that the repository holds their source rather
// than opaque files. Each call draws afresh.

// The donation picture's size, in the pixels of a screen at scale 1.
inline constexpr QSize kDonationSize(71, 42);

// The donation picture (a coin and a heart over `word`, "Donate" in the reader's language),
// 24-bit RGB, drawn for a screen at `scale` (1 or more): `scale` times kDonationSize in
// pixels, with that device pixel ratio, so that it is sharp on high-resolution screens.
QImage DonationPicture(int scale = 1, const QString& word = QStringLiteral("Donate"));

// The donation picture as an icon, at the scales screens use; its disabled look is the
// style's greyed one.
QIcon DonationIcon(const QString& word = QStringLiteral("Donate"));

// The program icon drawn at `size` x `size` pixels, with transparency.
QImage RenderProgramIcon(int size);

// The program icon at the sizes a window manager asks for.
QIcon ProgramIcon();

}  // namespace sorvina::resources

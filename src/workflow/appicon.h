// The program's icon, drawn rather than loaded so that it needs no resource file.
#pragma once

#include <QIcon>

namespace qm::desktop {
QIcon appIcon();
// The picture of the command that views a delivery.
QIcon viewIcon();
}

#pragma once

#include <QIcon>
#include <QPixmap>

// The program's pictures, drawn here rather than shipped as files: the
// agent's icon (window, tray, about box), the start-up picture and the help
// picture of the main window.
namespace Artwork {

QIcon AgentIcon();
QPixmap StartupPicture();
QPixmap HelpPicture();

} // namespace Artwork

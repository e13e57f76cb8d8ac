#include "platform/picturepane.h"
#include "platform/fonts.h"
#include "platform/toolkit.h"
void PicturePane::loadFile(const QString& path) { QImage i; if (!i.load(path)) throw plat::ToolkitError("Cannot open file " + path); setPicture(i); }
QImage plat::placeholderPicture() { return QImage(32, 32, QImage::Format_RGB32); }
void plat::installFontFallbacks() {}

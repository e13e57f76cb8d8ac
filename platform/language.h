#pragma once
// Qt's own texts (the buttons and labels of the file and folder dialogs, the context menus of
// text fields) are English unless Qt's translations are loaded; the rest of the program speaks
// Russian, so they are loaded from where Debian's qt6-translations-l10n puts them.
class QCoreApplication;

namespace plat {

// Loads Qt's Russian texts into the application, which keeps them until it ends. False, with a
// line on standard error, when they are not installed: the dialogs then stay English.
bool installQtRussian(QCoreApplication& app);

}  // namespace plat

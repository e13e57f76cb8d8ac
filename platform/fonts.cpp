#include "platform/fonts.h"

#include <QFont>
#include <QStringList>

namespace plat {

void installFontFallbacks() {
    QFont::insertSubstitutions(QString::fromLatin1(kLayoutFontFamily),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}

}  // namespace plat

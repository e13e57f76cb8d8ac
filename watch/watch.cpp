#include "watch/watch.h"

#include "watch/tform6.h"

namespace watch {

Watch::Watch(plat::Platform& sys, Archive archive, Operations& operations, QWidget* owner)
    : sys_(sys), archive_(archive), operations_(operations), owner_(owner), board_(std::make_unique<TForm6>(owner)) {}

Watch::~Watch() = default;

void Watch::start(const QByteArray& unitNumber) {
    if (const QString why = book_.load(); !why.isEmpty()) sys_.ui.message(QStringLiteral("Объекты"), why);
    if (book_.ensure(unitNumber)) emit bookChanged();
}

void Watch::finish() {}

void Watch::openBoard() {}

void Watch::callEnded(const journal::Call&) {}

void Watch::filed() {}

void Watch::shown(const QList<QByteArray>&) {}

void Watch::unitNumberChanged(const QByteArray& number) {
    if (book_.ensure(number)) emit bookChanged();
}

}  // namespace watch

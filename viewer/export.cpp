#include "viewer/export.h"
#include "platform/durable.h"

#include "acquisition/archive.h"
#include "platform/cp1251.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace viewer {

namespace {

std::optional<QByteArray> readWhole(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) return std::nullopt;
    return bytes;
}

QString unwritten(const QString& path) {
    return QStringLiteral("Не удалось записать %1").arg(QDir::toNativeSeparators(path));
}

// More copies of one second than any camera takes: past this the folder is taken as full.
constexpr int kMaxNumber = 10000;

}  // namespace

QString exportName(QByteArrayView storedName) {
    if (const auto time = pictureTime(storedName)) return time->toString(QStringLiteral("yyyy-MM-dd hh-mm-ss"));
    return plat::fromCp1251(pictureFile(storedName).toByteArray());
}

QString copyPicture(const QString& from, const QString& to) {
    const auto bytes = readWhole(from);
    if (!bytes) return QStringLiteral("Не удалось прочитать %1").arg(QDir::toNativeSeparators(from));
    return plat::writeFileAtomic(to, *bytes) ? QString() : unwritten(to);
}

ExportResult exportPictures(const QList<QByteArray>& storedNames, const QString& folder) {
    ExportResult result;
    const QDir dir(folder);
    for (const QByteArray& name : storedNames) {
        const auto bytes = readWhole(nativePath(name + ".jpg"));
        if (!bytes) {
            result.unread.append(plat::fromCp1251(name));
            continue;
        }
        const QString base = exportName(name);
        for (int n = 1;; ++n) {
            if (n > kMaxNumber) {
                result.failure = unwritten(dir.filePath(base + QStringLiteral(".jpg")));
                return result;
            }
            const QString path =
                dir.filePath(base + (n == 1 ? QString() : QStringLiteral(" (%1)").arg(n)) + QStringLiteral(".jpg"));
            if (QFileInfo::exists(path)) {
                if (readWhole(path) != bytes) continue;
            } else if (!plat::writeFileAtomic(path, *bytes)) {
                result.failure = unwritten(path);
                return result;
            }
            ++result.saved;
            break;
        }
    }
    return result;
}

}  // namespace viewer

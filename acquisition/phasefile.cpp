#include "acquisition/phasefile.h"
#include "acquisition/archive.h"
#include "platform/durable.h"
#include "platform/trace.h"

PhaseFile::PhaseFile() : file_(archive::phaseFile) {
    ok_ = file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    if (!ok_)
        qCInfo(lcArchive, "%s not opened: %s", qUtf8Printable(file_.fileName()), qUtf8Printable(file_.errorString()));
}

bool PhaseFile::synced() { return ok_ && plat::syncFile(file_); }

void PhaseFile::append(unsigned char b) {
    if (!ok_) return;
    if (file_.write(reinterpret_cast<const char*>(&b), 1) != 1) {
        qCInfo(lcArchive, "%s write failed after %lld bytes: %s", qUtf8Printable(file_.fileName()), written_,
               qUtf8Printable(file_.errorString()));
        ok_ = false;
        file_.close();
        return;
    }
    ++written_;
    if (last_ == 0xFF && b == 0xD9) plat::syncFile(file_);
    last_ = b;
}

void PhaseFile::finish() {
    if (ok_) {
        plat::syncFile(file_);
        qCDebug(lcArchive, "%s written: %lld bytes", qUtf8Printable(file_.fileName()), written_);
    }
    file_.close();
}

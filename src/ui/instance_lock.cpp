#include "ui/instance_lock.h"

#include <QDir>

namespace brix {

QString InstanceLockFileName() {
    QString name = QString::fromLatin1(kInstanceLockName);
    for (QChar& c : name) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('/') || c == QLatin1Char(':')) c = u'_';
    }
    return name + QStringLiteral(".lock");
}

CInstanceLock::CInstanceLock(const QString& folder)
    : path_(QDir(folder.isEmpty() ? QDir::tempPath() : folder).filePath(InstanceLockFileName())),
      lock_(std::make_unique<QLockFile>(path_)) {
    // Never stale by age: only a holder that is gone gives the lock up.
    lock_->setStaleLockTime(0);
    held_ = lock_->tryLock(0);
    // A lock file that cannot be read or written (another user's, left
    // behind) does not keep the program from starting: only a live holder does.
    otherHolder_ = !held_ && lock_->error() == QLockFile::LockFailedError;
}

void CInstanceLock::Release() {
    if (held_) lock_->unlock();
    held_ = false;
}

}  // namespace brix

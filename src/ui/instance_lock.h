#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace brix {

// The name of the lock that lets one copy of the program run at a time.
inline constexpr char kInstanceLockName[] = "Global\\{KarvoINFOMYSQL_EXE_RUNNING1}";
inline constexpr char kAnotherInstanceText[] = "Another instance of application is already running";

// The single-instance lock: a lock file named after kInstanceLockName in the
// system's temporary folder, so that every user's copy sees it. It is taken
// when the object is made and held for its life; a lock left behind by a copy
// that died is taken over.
class CInstanceLock {
  public:
    // folder: where the lock file lives; the temporary folder when empty.
    explicit CInstanceLock(const QString& folder = {});

    // True when another copy of the program held the lock.
    bool AlreadyRunning() const { return otherHolder_; }
    // Gives the lock up (the process is about to end).
    void Release();
    QString path() const { return path_; }

  private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    bool held_ = false;
    bool otherHolder_ = false;
};

// The lock's file name: its name with every character a file name cannot hold
// on some system replaced by an underscore.
QString InstanceLockFileName();

}  // namespace brix

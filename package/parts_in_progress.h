#pragma once
// The parts this process is writing under a name, kept where a handler of a signal that ends
// the program can take them away (RemovePartsInProgressNow in package/unpublished_file.h)
// without a lock or an allocation. Only POSIX needs it: Windows removes such parts itself.
#include <QByteArray>

namespace quorvex::parts {

// The slot that now names `path`, or -1 when none is free (the part is then left to the next
// build's clean-up).
int Arm(const QByteArray& path);
// Forgets the part in `slot`, if any, and sets it to -1.
void Disarm(int& slot);

} // namespace quorvex::parts

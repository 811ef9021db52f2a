#include "package/parts_in_progress.h"
#include "package/unpublished_file.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <unistd.h>

namespace quorvex {
namespace parts {

namespace {

// A slot's path is written only while the slot is claimed, and read only while it is armed.
enum SlotState : int { Free, Claimed, Armed };
struct PartSlot {
    std::atomic<int> state{Free};
    char path[4096];
};
std::array<PartSlot, 8> partSlots;
static_assert(std::atomic<int>::is_always_lock_free);

} // namespace

int Arm(const QByteArray& path) {
    if (path.size() >= qsizetype(sizeof PartSlot::path))
        return -1;
    for (int i = 0; i < int(partSlots.size()); ++i) {
        int expected = Free;
        if (!partSlots[i].state.compare_exchange_strong(expected, Claimed))
            continue;
        std::memcpy(partSlots[i].path, path.constData(), size_t(path.size()) + 1);
        partSlots[i].state.store(Armed);
        return i;
    }
    return -1;
}

void Disarm(int& slot) {
    if (slot >= 0)
        partSlots[size_t(slot)].state.store(Free);
    slot = -1;
}

} // namespace parts

void RemovePartsInProgressNow() noexcept {
    for (parts::PartSlot& slot : parts::partSlots)
        if (slot.state.load() == parts::Armed)
            ::unlink(slot.path);
}

} // namespace quorvex

// The process-wide ticket registry: a growable array in registration order under one lock,
// searched linearly and compacted at every 50th release.
#include "ui/TicketRegistry.h"

#include "platform/Sync.h"

#include <vector>

namespace {

struct TicketRecord {
    int32_t ticket;
    const void* pointer;
    uint8_t alive;
};

struct TicketRegistry {
    platform::CriticalSection lock;
    std::vector<TicketRecord> records;
    int32_t nextTicket = 1;
    int32_t releases = 0;
};

TicketRegistry& Registry()
{
    // Never destroyed: sprites that outlive static destruction order still find it.
    static TicketRegistry* registry = new TicketRegistry;
    return *registry;
}

constexpr int32_t kCompactEvery = 50;

} // namespace

int32_t RegisterTicket(const void* pointer)
{
    TicketRegistry& r = Registry();
    platform::ScopedLock lock(r.lock);
    const int32_t ticket = r.nextTicket;
    r.records.push_back({ticket, pointer, 1});
    // Wrapping past INT32_MAX would hand out 0 or negative numbers; skip them.
    r.nextTicket = ticket == INT32_MAX ? 1 : ticket + 1;
    return ticket;
}

int IsTicketAlive(int32_t ticket)
{
    if (ticket == 0)
        return 0;
    TicketRegistry& r = Registry();
    platform::ScopedLock lock(r.lock);
    for (const TicketRecord& rec : r.records)
        if (rec.ticket == ticket)
            return rec.alive;
    return 0;
}

int IsPointerAlive(const void* pointer)
{
    return TicketOfPointer(pointer) != 0 ? 1 : 0;
}

int32_t TicketOfPointer(const void* pointer)
{
    if (!pointer)
        return 0;
    TicketRegistry& r = Registry();
    platform::ScopedLock lock(r.lock);
    // The newest alive record wins: an address can be alive only once at a time anyway.
    for (auto it = r.records.rbegin(); it != r.records.rend(); ++it)
        if (it->pointer == pointer && it->alive)
            return it->ticket;
    return 0;
}

int IsTicketFor(int32_t ticket, const void* pointer)
{
    if (ticket == 0 || !pointer)
        return 0;
    TicketRegistry& r = Registry();
    platform::ScopedLock lock(r.lock);
    for (const TicketRecord& rec : r.records)
        if (rec.ticket == ticket)
            return rec.alive && rec.pointer == pointer ? 1 : 0;
    return 0;
}

void ReleaseTicket(int32_t ticket)
{
    TicketRegistry& r = Registry();
    platform::ScopedLock lock(r.lock);
    if (r.releases >= kCompactEvery) {
        std::erase_if(r.records, [](const TicketRecord& rec) { return rec.alive == 0; });
        r.releases = 0;
    }
    if (ticket == 0)
        return;
    for (TicketRecord& rec : r.records)
        if (rec.ticket == ticket) {
            // A second release of the same ticket must not count twice toward compaction.
            if (rec.alive) {
                rec.alive = 0;
                ++r.releases;
            }
            return;
        }
}

int TicketRecordCount()
{
    TicketRegistry& r = Registry();
    platform::ScopedLock lock(r.lock);
    return int(r.records.size());
}

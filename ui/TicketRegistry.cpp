// The process-wide ticket registry: records in slots, found through two open-addressing hash
// tables (ticket -> slot for every record, pointer -> ticket for the alive ones), all under one
// short lock that never calls out. Dead records stay until every 50th release drops them, as the
// counts the tests read expect.
#include "ui/TicketRegistry.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <type_traits>
#include <vector>

namespace {

// Linear probing over a power-of-two table; key 0 marks an empty cell (ticket 0 and the null
// pointer are never stored). Erasure shifts the following cells back, so no tombstones pile up.
template <class Key, class Value>
class FlatMap {
public:
    Value* Find(Key key)
    {
        if (m_cells.empty())
            return nullptr;
        for (size_t i = Home(key);; i = (i + 1) & m_mask) {
            Cell& c = m_cells[i];
            if (c.key == key)
                return &c.value;
            if (c.key == Key{})
                return nullptr;
        }
    }
    // Inserts or replaces.
    void Set(Key key, Value value)
    {
        if ((m_size + 1) * 4 > m_cells.size() * 3)
            Grow();
        for (size_t i = Home(key);; i = (i + 1) & m_mask) {
            Cell& c = m_cells[i];
            if (c.key == key) {
                c.value = value;
                return;
            }
            if (c.key == Key{}) {
                c = {key, value};
                ++m_size;
                return;
            }
        }
    }
    void Erase(Key key)
    {
        if (m_cells.empty())
            return;
        size_t i = Home(key);
        for (;; i = (i + 1) & m_mask) {
            if (m_cells[i].key == key)
                break;
            if (m_cells[i].key == Key{})
                return;
        }
        // Backward shift: a later cell moves into the hole when its home does not lie strictly
        // between the hole and itself (cyclically).
        size_t hole = i;
        for (size_t j = (i + 1) & m_mask;; j = (j + 1) & m_mask) {
            if (m_cells[j].key == Key{})
                break;
            const size_t home = Home(m_cells[j].key);
            const bool stays = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
            if (!stays) {
                m_cells[hole] = m_cells[j];
                hole = j;
            }
        }
        m_cells[hole] = Cell{};
        --m_size;
    }
    size_t Size() const { return m_size; }

private:
    struct Cell {
        Key key{};
        Value value{};
    };
    size_t Home(Key key) const
    {
        // Fibonacci hashing: neighbouring addresses and consecutive tickets spread out.
        uint64_t k;
        if constexpr (std::is_pointer_v<Key>)
            k = uint64_t(reinterpret_cast<uintptr_t>(key));
        else
            k = uint64_t(uint32_t(key));
        return size_t((k * 0x9E3779B97F4A7C15ull) >> m_shift);
    }
    void Grow()
    {
        std::vector<Cell> old;
        old.swap(m_cells);
        const size_t capacity = old.empty() ? 1024 : old.size() * 2;
        m_cells.assign(capacity, Cell{});
        m_mask = capacity - 1;
        m_shift = 64 - __builtin_ctzll(capacity);
        m_size = 0;
        for (const Cell& c : old)
            if (c.key != Key{})
                Set(c.key, c.value);
    }

    std::vector<Cell> m_cells;
    size_t m_mask = 0;
    int m_shift = 64;
    size_t m_size = 0;
};

struct TicketRecord {
    int32_t ticket = 0;
    const void* pointer = nullptr;
    uint8_t alive = 0;
};

struct TicketRegistry {
    std::mutex lock;
    std::vector<TicketRecord> slots;
    std::vector<uint32_t> freeSlots;
    std::vector<uint32_t> deadSlots;
    FlatMap<int32_t, uint32_t> byTicket;
    FlatMap<const void*, int32_t> byPointer;
    // Alive records whose pointer another alive record also holds (never in the program: a
    // sprite registers once; kept right for any caller): the release of the newest then looks
    // for the one before it.
    size_t sharedPointers = 0;
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

void Compact(TicketRegistry& r)
{
    for (uint32_t slot : r.deadSlots) {
        r.byTicket.Erase(r.slots[slot].ticket);
        r.slots[slot] = TicketRecord{};
        r.freeSlots.push_back(slot);
    }
    r.deadSlots.clear();
}

} // namespace

int32_t RegisterTicket(const void* pointer)
{
    TicketRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.lock);
    const int32_t ticket = r.nextTicket;
    // Wrapping past INT32_MAX would hand out 0 or negative numbers; skip them.
    r.nextTicket = ticket == INT32_MAX ? 1 : ticket + 1;
    uint32_t slot;
    if (!r.freeSlots.empty()) {
        slot = r.freeSlots.back();
        r.freeSlots.pop_back();
    } else {
        slot = uint32_t(r.slots.size());
        r.slots.emplace_back();
    }
    r.slots[slot] = {ticket, pointer, 1};
    // After a wrap the first record with a number keeps it, as a search in order would find.
    if (!r.byTicket.Find(ticket))
        r.byTicket.Set(ticket, slot);
    if (pointer) {
        if (r.byPointer.Find(pointer))
            ++r.sharedPointers;
        r.byPointer.Set(pointer, ticket); // the newest alive record wins
    }
    return ticket;
}

int IsTicketAlive(int32_t ticket)
{
    if (ticket == 0)
        return 0;
    TicketRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.lock);
    const uint32_t* slot = r.byTicket.Find(ticket);
    return slot ? r.slots[*slot].alive : 0;
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
    std::lock_guard<std::mutex> lock(r.lock);
    const int32_t* ticket = r.byPointer.Find(pointer);
    return ticket ? *ticket : 0;
}

int IsTicketFor(int32_t ticket, const void* pointer)
{
    if (ticket == 0 || !pointer)
        return 0;
    TicketRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.lock);
    const uint32_t* slot = r.byTicket.Find(ticket);
    if (!slot)
        return 0;
    const TicketRecord& rec = r.slots[*slot];
    return rec.alive && rec.pointer == pointer ? 1 : 0;
}

void ReleaseTicket(int32_t ticket)
{
    TicketRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.lock);
    if (r.releases >= kCompactEvery) {
        Compact(r);
        r.releases = 0;
    }
    if (ticket == 0)
        return;
    const uint32_t* found = r.byTicket.Find(ticket);
    if (!found)
        return;
    const uint32_t slot = *found;
    TicketRecord& rec = r.slots[slot];
    // A second release of the same ticket must not count twice toward compaction.
    if (!rec.alive)
        return;
    rec.alive = 0;
    ++r.releases;
    r.deadSlots.push_back(slot);
    if (!rec.pointer)
        return;
    const int32_t* current = r.byPointer.Find(rec.pointer);
    if (!current || *current != ticket) {
        if (r.sharedPointers > 0)
            --r.sharedPointers; // an older one of a shared pointer went
        return;
    }
    r.byPointer.Erase(rec.pointer);
    if (r.sharedPointers == 0)
        return;
    // Another alive record holds the same pointer: the newest of them answers from now on.
    const TicketRecord* newest = nullptr;
    for (const TicketRecord& other : r.slots)
        if (other.alive && other.pointer == rec.pointer && (!newest || other.ticket > newest->ticket))
            newest = &other;
    if (newest) {
        r.byPointer.Set(rec.pointer, newest->ticket);
        --r.sharedPointers;
    }
}

int TicketRecordCount()
{
    TicketRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.lock);
    return int(r.slots.size() - r.freeSlots.size());
}

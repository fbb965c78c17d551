// The registry of live objects: every sprite (and every album photo item) gets a ticket when it
// is created and gives it back when it is destroyed, so that posted messages and loader replies
// can tell whether their recipient still exists before they touch it.
#pragma once

#include <cstdint>

// Records {next ticket, pointer, alive} and returns that ticket (never 0). Every call is a hash
// lookup under one short lock, from any thread.
int32_t RegisterTicket(const void* pointer);
// The alive byte of the first record with that ticket; 0 when none (0 included).
int IsTicketAlive(int32_t ticket);
// 1 when some alive record holds the pointer; a null pointer is never alive.
int IsPointerAlive(const void* pointer);
// Marks the first record with the ticket dead; every 50th release first drops the dead records.
void ReleaseTicket(int32_t ticket);

// The ticket of the alive record that holds the pointer, 0 when none. Reads only the registry,
// never the object, so it is safe on a pointer that may already be freed.
int32_t TicketOfPointer(const void* pointer);
// 1 when the ticket is alive and still names this pointer: what message delivery checks, so a
// new object at a recycled address never receives its predecessor's messages.
int IsTicketFor(int32_t ticket, const void* pointer);

// Number of records kept (dead ones included until the next compaction); for tests.
int TicketRecordCount();

// The magazine table: 100 slots, empty until the first scan.
#include "changer/magazine.h"

DiscSlot g_slots[kSlotCount];

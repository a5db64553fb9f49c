// Numbered object tables.
#include "runtime/runtime.h"
#include "tests/support/faults.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

struct Record {
    intptr_t handle; // non-zero while live
    int payload;
};

ObjectTable* table = nullptr;
std::vector<intptr_t> freed;

void FreeRecord(intptr_t number) {
    freed.push_back(number);
    if (GetObject(table, number)) FreeObject(table, number);
}

class ObjectTables : public testing::Test {
  protected:
    void SetUp() override {
        table = NewObjectTable(sizeof(Record), 16, FreeRecord);
        freed.clear();
    }
    void TearDown() override {
        FreeAllObjects(table);
        for (int64_t i = 0; i < table->slotCount; ++i)
            FreeBlock(table->slots[i]);
        FreeBlock(table->slots);
        FreeBlock(table);
    }
    static Record* Make(intptr_t number, intptr_t handle = 1) {
        auto* record = static_cast<Record*>(AllocateObject(table, number));
        if (record) record->handle = handle;
        return record;
    }
};

} // namespace

TEST_F(ObjectTables, SlotsGrowToNumberPlusStep) {
    EXPECT_EQ(table->slotCount, 16);
    ASSERT_NE(Make(100), nullptr);
    EXPECT_EQ(table->slotCount, 116);
    for (int i = 16; i < 116; ++i) {
        if (i == 100) continue;
        EXPECT_EQ(table->slots[i], nullptr);
    }
    EXPECT_NE(GetObject(table, 100), nullptr);
    EXPECT_EQ(GetObject(table, 99), nullptr);
}

TEST_F(ObjectTables, ReuseCallsTheFreeCallbackAndReturnsTheSameZeroedRecord) {
    Record* first = Make(3, 0x1234);
    first->payload = 42;
    Record* second = static_cast<Record*>(AllocateObject(table, 3));
    EXPECT_EQ(second, first);
    EXPECT_EQ(second->handle, 0);
    EXPECT_EQ(second->payload, 0);
    EXPECT_EQ(freed, std::vector<intptr_t>{3});

    // A dead record in its slot: the callback runs, finds nothing live, and does nothing.
    FreeObject(table, 3);
    EXPECT_EQ(GetObject(table, 3), nullptr);
    freed.clear();
    EXPECT_EQ(AllocateObject(table, 3), first);
    EXPECT_EQ(freed, std::vector<intptr_t>{3});
}

TEST_F(ObjectTables, AnyNumbersAreRecordAddresses) {
    auto* a = static_cast<Record*>(AllocateObject(table, Any));
    auto* b = static_cast<Record*>(AllocateObject(table, Any));
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b);
    a->handle = b->handle = 7;
    auto numberA = reinterpret_cast<intptr_t>(a);
    EXPECT_EQ(GetObject(table, numberA), a);
    EXPECT_EQ(IsObject(table, numberA), a);
    FreeObject(table, numberA);
    EXPECT_EQ(IsObject(table, numberA), nullptr);
    EXPECT_EQ(IsObject(table, reinterpret_cast<intptr_t>(b)), b);
}

TEST_F(ObjectTables, IsObjectNeverReadsAnAddressOutsideTheList) {
    // The candidate address is never dereferenced: an unmapped one would crash the test.
    EXPECT_EQ(IsObject(table, 0x7ff0deadbee0), nullptr);
    EXPECT_EQ(IsObject(table, 17), nullptr);
    EXPECT_EQ(GetObject(table, 17), nullptr);
    EXPECT_EQ(GetObject(table, -5), nullptr);
}

TEST_F(ObjectTables, WalkVisitsSlotsThenAnyObjectsOldestFirstWhileFreeing) {
    Make(5);
    Make(1);
    auto* oldest = Make(Any);
    Make(9);
    auto* newest = Make(Any);
    FreeAllObjects(table); // the callback frees each object while the walk goes on
    std::vector<intptr_t> expected = {1, 5, 9, reinterpret_cast<intptr_t>(oldest),
                                      reinterpret_cast<intptr_t>(newest)};
    EXPECT_EQ(freed, expected);
    EXPECT_EQ(table->dynamicHead, nullptr);
    ResetObjectEnumeration(table);
    intptr_t number = 0;
    EXPECT_EQ(NextObject(table, &number), nullptr);
}

TEST_F(ObjectTables, RefusedMemoryGivesNullAndLeavesTheTable) {
    FailAllocations refuse;
    EXPECT_EQ(AllocateObject(table, 2), nullptr);
    EXPECT_EQ(AllocateObject(table, 500), nullptr);
    EXPECT_EQ(AllocateObject(table, Any), nullptr);
    EXPECT_EQ(table->slotCount, 16);
    EXPECT_EQ(table->dynamicHead, nullptr);
    EXPECT_EQ(NewObjectTable(sizeof(Record), 16, nullptr), nullptr);
}

TEST(ObjectTableOnce, CreatesOnlyWhenNull) {
    ObjectTable* global = nullptr;
    NewObjectTableOnce(&global, 16, 4, nullptr);
    ASSERT_NE(global, nullptr);
    ObjectTable* first = global;
    NewObjectTableOnce(&global, 16, 4, nullptr);
    EXPECT_EQ(global, first);
    EXPECT_EQ(global->slotCount, 4);

    int initialised = 0;
    static int* counter = &initialised;
    auto* block = static_cast<int*>(NewGlobalsBlock(64, [](void* b) {
        ++*counter;
        static_cast<int*>(b)[0] = 5;
    }));
    EXPECT_EQ(initialised, 1);
    EXPECT_EQ(block[0], 5);
    EXPECT_EQ(block[1], 0);
    EXPECT_EQ(GetGlobalsBlock(block), block);
    FreeBlock(block);
    FreeBlock(global->slots);
    FreeBlock(global);
}

// Sized blocks and list blocks.
#include "runtime/runtime.h"
#include "tests/support/faults.h"

#include <cstring>
#include <gtest/gtest.h>

TEST(SizedBlocks, ZeroFilledAndResizedWithZeroedGrowth) {
    auto* block = static_cast<unsigned char*>(AllocateBlock(10));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(BlockSize(block), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(block[i], 0);
    std::memset(block, 0xAB, 10);
    block = static_cast<unsigned char*>(ResizeBlock(block, 20));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(BlockSize(block), 20);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(block[i], 0xAB);
    for (int i = 10; i < 20; ++i)
        EXPECT_EQ(block[i], 0);
    FreeBlock(block);
    FreeBlock(nullptr);
    EXPECT_EQ(ResizeBlock(nullptr, 8), nullptr);
}

TEST(SizedBlocks, ImpossibleOrRefusedSizesGiveNull) {
    EXPECT_EQ(AllocateBlock(-1), nullptr);
    EXPECT_EQ(AllocateBlock(INT64_MAX), nullptr);
    EXPECT_EQ(AllocateBlock(INT64_MAX - 7), nullptr);
    void* block = AllocateBlock(4);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(ResizeBlock(block, INT64_MAX), nullptr);
    {
        FailAllocations refuse;
        EXPECT_EQ(AllocateBlock(16), nullptr);
        EXPECT_EQ(ResizeBlock(block, 4096), nullptr);
    }
    EXPECT_EQ(BlockSize(block), 4); // the refused resize left it as it was
    FreeBlock(block);
}

TEST(ListBlocks, AddRemoveAndFree) {
    ListBlock* head = nullptr;
    auto* a = static_cast<int*>(AddListBlock(&head, 16 + sizeof(int)));
    auto* b = static_cast<int*>(AddListBlock(&head, 16 + sizeof(int)));
    auto* c = static_cast<int*>(AddListBlock(&head, 16 + sizeof(int)));
    ASSERT_TRUE(a && b && c);
    ListBlock* blockA = reinterpret_cast<ListBlock*>(a) - 1;
    ListBlock* blockB = reinterpret_cast<ListBlock*>(b) - 1;
    ListBlock* blockC = reinterpret_cast<ListBlock*>(c) - 1;
    EXPECT_EQ(head, blockC);
    EXPECT_EQ(blockC->next, blockB);
    EXPECT_EQ(blockB->previous, blockC);
    EXPECT_EQ(blockC->previous, nullptr);

    RemoveListBlock(&head, b); // a middle block: its neighbours are joined
    EXPECT_EQ(blockC->next, blockA);
    EXPECT_EQ(blockA->previous, blockC);
    RemoveListBlock(&head, c); // the head: the next one takes over with no previous
    EXPECT_EQ(head, blockA);
    EXPECT_EQ(blockA->previous, nullptr);

    {
        FailAllocations refuse;
        EXPECT_EQ(AddListBlock(&head, 64), nullptr);
    }
    EXPECT_EQ(head, blockA);
    EXPECT_EQ(blockA->previous, nullptr);
    FreeListBlocks(&head);
    EXPECT_EQ(head, nullptr);
}

// The runtime core: text, the string accumulator, blocks, lists, object tables and block pools.
#include "runtime/runtime.h"
#include "tests/support/faults.h"

#include <atomic>
#include <cstring>
#include <glib.h>
#include <gtest/gtest.h>
#include <random>
#include <thread>

static std::string Utf8(const char16_t* text) {
    g_autofree char* utf8 = ToToolkitText(text);
    return utf8;
}

// What `call` returns while allocations after the first `allowed` are refused.
template <typename Call> static auto Refused(Call call, int allowed = 0) {
    FailAllocations refuse(allowed);
    return call();
}

static ObjectTable* table = nullptr;
static std::vector<intptr_t> freed;
static intptr_t nextToFree = 0;

static void FreeRecord(intptr_t number) { // the library's own way: free what is still live
    freed.push_back(number);
    if (GetObject(table, number)) FreeObject(table, number);
}

// A live record of two words, both set; returns its number.
static intptr_t Make(intptr_t number) {
    auto* record = static_cast<intptr_t*>(AllocateObject(table, number));
    record[0] = record[1] = 1;
    return number == Any ? reinterpret_cast<intptr_t>(record) : number;
}

TEST(RuntimeText, AgreesWithGLibOnValidTextAndEndsOrFailsOnInvalidText) {
    std::mt19937 random(1234);
    for (int round = 0; round < 2000; ++round) {
        std::basic_string<gunichar> code;
        for (int i = random() % 40; i > 0; --i) // 1- to 4-byte code points, no surrogates
            if (char32_t c = random() % (0x110000 >> 5 * (random() % 4)); c && c - 0xD800 > 0x7FF)
                code += c;
        glong units = 0, bytes = 0;
        g_autofree auto* text = reinterpret_cast<char16_t*>(
            g_ucs4_to_utf16(code.c_str(), -1, nullptr, &units, nullptr));
        g_autofree gchar* utf8 = g_ucs4_to_utf8(code.c_str(), -1, nullptr, &bytes, nullptr);
        EXPECT_EQ(Utf8(text), utf8);
        std::string out(bytes + 2, 'U'); // writing never passes the room it is given
        const int64_t room = random() % (bytes + 2);
        EXPECT_LE(TextToUTF8(text, units + 1, out.data(), room), room);
        EXPECT_EQ(out.substr(room), std::string(bytes + 2 - room, 'U'));
        std::u16string ours(units + 1, u'?');
        EXPECT_EQ(UTF8ToText(utf8, bytes + 1, ours.data(), units + 1), units + 1);
        EXPECT_EQ(ours, std::u16string(text, units + 1));
    }

    // A lone high surrogate ends the text, a lone low one is encoded as it stands.
    EXPECT_EQ(Utf8(u"A\xD800\x42") + "|" + Utf8(u"\xD834x") + "|" + Utf8(u"\xDC00"),
              "A||\xED\xB0\x80");
    char out[8];
    EXPECT_EQ(TextToUTF8(u"A\xD800\x42", 4, nullptr, 0), 1); // the count stops there...
    EXPECT_EQ(TextToUTF8(u"A\xD800\x42", 4, out, 8), 0);     // ...and the writing pass fails
    char16_t units[4] = {7, 7, 7, 7};
    // The 0x41 ends and joins the sequence; a pair that does not fit is left out whole.
    EXPECT_TRUE(UTF8ToText("\xC3\x41", 3, units, 4) == 2 && units[0] == 3 && units[1] == 0);
    EXPECT_TRUE(UTF8ToText("x\xF0\x9D\x84\x9E", 6, units, 2) == 1 && units[0] == 'x' && !units[1]);
    EXPECT_EQ(UTF8ToText("a\xE2\x82", 3, units, 4), 1); // truncated
    EXPECT_EQ(UTF8ToText("ab\x80z", 5, nullptr, 0), 2); // an invalid lead byte
    EXPECT_EQ(UTF8ToText("ab\x80z", 5, units, 4), 0);
}

// Each length class at its edges, both ways; and a zero byte that cuts a sequence short ends it
// (with its value so far) and is still the terminator, wherever the cut falls.
TEST(RuntimeText, LengthClassEdgesAndCutSequencesBeforeTheTerminator) {
    struct Edge {
        std::u16string text;
        std::string utf8;
    };
    const Edge edges[] = {{u"\u007F", "\x7F"},
                          {u"\u0080", "\xC2\x80"},
                          {u"\u07FF", "\xDF\xBF"},
                          {u"\u0800", "\xE0\xA0\x80"},
                          {u"\uFFFF", "\xEF\xBF\xBF"},
                          {u"\U00010000", "\xF0\x90\x80\x80"},
                          {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"}};
    for (const Edge& edge : edges) {
        SCOPED_TRACE(edge.utf8.size());
        EXPECT_EQ(TextToUTF8(edge.text.c_str(), int64_t(edge.text.size()) + 1, nullptr, 0),
                  int64_t(edge.utf8.size()) + 1);
        EXPECT_EQ(Utf8(edge.text.c_str()), edge.utf8);
        std::u16string units(edge.text.size() + 1, u'?');
        EXPECT_EQ(UTF8ToText(edge.utf8.c_str(), int64_t(edge.utf8.size()) + 1, units.data(),
                             int64_t(units.size())),
                  int64_t(units.size()));
        EXPECT_EQ(units, edge.text + u'\0');
    }
    EXPECT_EQ(UTF8ToText("A\xF4\x90\x80\x80", 6, nullptr, 0), 1); // past U+10FFFF: the end

    struct Cut {
        const char* utf8; // converted with its terminator
        std::u16string units;
    };
    const Cut cuts[] = {{"AB\xE2\x82", u"AB\u0082"},
                        {"A\xE2", u"A\u0002"},
                        {"\xF0\x9D\x84", u"\u0744"},
                        {"\xF4", u"\u0004"},
                        {"\xC3\x41", u"\u0003"}}; // a byte that is not a continuation is taken
    InitStrings();
    for (const Cut& cut : cuts) {
        SCOPED_TRACE(cut.utf8);
        const int64_t bytes = int64_t(std::strlen(cut.utf8)) + 1, units = int64_t(cut.units.size());
        EXPECT_EQ(UTF8ToText(cut.utf8, bytes, nullptr, 0), units + 1);
        const int64_t position = QX_StringBasePosition;
        EXPECT_EQ(FromToolkitText(cut.utf8, position), units + 1);
        const auto* text = reinterpret_cast<char16_t*>(QX_StringBase + position);
        EXPECT_EQ(std::u16string(text, size_t(units) + 1), cut.units + u'\0');
        EXPECT_EQ(QX_StringBasePosition, position + 2 * units);
    }
    EndStrings();
}

TEST(StringAccumulator, GrowsReservesAndRefusesWithoutATrace) {
    InitStrings();
    EXPECT_TRUE(ReserveString(5, 0) && QX_StringBaseSize == 16); // 5 chars leave room
    std::memset(QX_StringBase, 0x55, 16);
    EXPECT_EQ(Refused([] { return ReserveString(20, 0); }), nullptr);
    EXPECT_EQ(Refused([] { return FromToolkitText("longer than sixteen bytes", 0); }), 0);
    EXPECT_EQ(std::string(QX_StringBase, 16), std::string(16, 0x55));
    EXPECT_TRUE(QX_StringBaseSize == 16 && QX_StringBasePosition == 10);
    EXPECT_TRUE(ReserveString(1, 0) && QX_StringBaseSize == 16396); // from 10: reaches the end
    EXPECT_EQ(FromToolkitText("Patch ", 40000), 7); // far beyond the current position
    EXPECT_EQ(FromToolkitText("\xC3\xA9t\xC3\xA9", QX_StringBasePosition), 4);
    const std::u16string result(reinterpret_cast<char16_t*>(QX_StringBase + 40000));
    EXPECT_TRUE(result == u"Patch \u00e9t\u00e9" && QX_StringBasePosition == 40018);
    EndStrings();
}

TEST(Blocks, ResizingKeepsAndZeroesAndImpossibleOrRefusedSizesGiveNull) {
    EXPECT_EQ(AllocateBlock(INT64_MAX), nullptr);     // the length field would overflow
    EXPECT_EQ(AllocateBlock(INT64_MAX - 7), nullptr); // the malloc request would
    auto* block = static_cast<unsigned char*>(AllocateBlock(10));
    std::memset(block, 0xAB, 10);
    block = static_cast<unsigned char*>(ResizeBlock(block, 20));
    EXPECT_EQ(Refused([&] { return ResizeBlock(block, 4096); }), nullptr);
    EXPECT_EQ(std::string(block, block + 20), std::string(10, '\xAB') + std::string(10, '\0'));
    EXPECT_EQ(BlockSize(block), 20);
    FreeBlock(block);

    ListBlock *head = nullptr, *nodes[3];
    for (ListBlock*& node : nodes)
        node = static_cast<ListBlock*>(AddListBlock(&head, 24)) - 1;
    RemoveListBlock(&head, nodes[1] + 1); // a middle block: its neighbours are joined
    EXPECT_TRUE(nodes[2]->next == nodes[0] && nodes[0]->previous == nodes[2]);
    RemoveListBlock(&head, nodes[2] + 1); // the head
    EXPECT_EQ(Refused([&] { return AddListBlock(&head, 64); }), nullptr);
    EXPECT_TRUE(head == nodes[0] && !nodes[0]->previous && !nodes[0]->next);
    FreeListBlocks(&head);
}

TEST(ObjectTables, NumbersReuseWalkRefusalsAndOneTimeCreation) {
    table = nullptr;
    freed.clear();
    for (int32_t step : {16, 4}) // made by the first call only: 100 grows it to 116 slots
        NewObjectTableOnce(&table, 2 * sizeof(intptr_t), step, FreeRecord);
    auto* first = static_cast<intptr_t*>(GetObject(table, Make(3)));
    EXPECT_EQ(AllocateObject(table, 3), first); // live: freed through the callback, zeroed
    EXPECT_EQ(first[0] | first[1], 0);
    EXPECT_EQ(AllocateObject(table, 3), first); // dead: the callback still runs
    Make(100);
    EXPECT_TRUE(table->slotCount == 116 && !GetObject(table, 99));
    for (intptr_t edge : {116, 133}) { // the slot count, and one past the next one
        Make(edge);
        EXPECT_TRUE(table->slotCount == edge + 16 && GetObject(table, edge)) << edge;
        FreeObject(table, edge);
    }

    const intptr_t oldest = Make(Any), gone = Make(Any), newest = Make(Any);
    FreeObject(table, gone);
    EXPECT_TRUE(GetObject(table, oldest) == reinterpret_cast<void*>(oldest) &&
                IsObject(table, newest) == reinterpret_cast<void*>(newest));
    EXPECT_TRUE(!IsObject(table, gone) && !IsObject(table, 0x7ff0deadbee0)); // neither is read
    Make(1);
    FreeAllObjects(table);
    EXPECT_EQ(freed, (std::vector<intptr_t>{3, 3, 1, 100, oldest, newest}));

    // A free callback that frees the record after its own: the walk never comes to that one.
    const intptr_t one = Make(Any), two = Make(Any), three = Make(Any);
    freed.clear();
    table->freeCallback = [](intptr_t number) {
        freed.push_back(number);
        FreeObject(table, number);
        if (freed.size() == 1) FreeObject(table, nextToFree);
    };
    nextToFree = two;
    FreeAllObjects(table);
    EXPECT_EQ(freed, (std::vector<intptr_t>{one, three}));
    table->freeCallback = FreeRecord;

    for (intptr_t number : {intptr_t{2}, intptr_t{500}, Any})
        EXPECT_EQ(Refused([=] { return AllocateObject(table, number); }), nullptr) << number;
    EXPECT_EQ(Refused([] { return NewObjectTable(16, 16, nullptr); }), nullptr);
    EXPECT_TRUE(table->slotCount == 149 && !table->slots[2] && !table->dynamicHead);
    for (int64_t i = 0; i < table->slotCount; ++i)
        FreeBlock(table->slots[i]);
    FreeBlock(table->slots);
    FreeBlock(table);
    auto* block = static_cast<int*>(NewGlobalsBlock(64, [](void* b) { ++*static_cast<int*>(b); }));
    EXPECT_TRUE(block[0] == 1 && block[15] == 0); // initialised once, on zeroes
    FreeBlock(block);
}

TEST(BlockPool, ChunksGrowFromSixteenToThirtyTwoToAtMostTwoHundredFiftySixOrAreRefused) {
    BlockPool* pool = NewBlockPool(20, 16, 256, 2);
    EXPECT_EQ(Refused([&] { return AllocatePoolBlock(pool); }), nullptr);
    for (int i = 0; i < 16; ++i)
        AllocatePoolBlock(pool);
    void* seventeenth = AllocatePoolBlock(pool);
    EXPECT_EQ(pool->totalBlocks, 32);
    FreePoolBlock(pool, seventeenth); // its chunk handed out nothing else
    EXPECT_TRUE(pool->totalBlocks == 16 && !pool->openChunks);
    for (int i = 16; i < 513; ++i)
        AllocatePoolBlock(pool);
    EXPECT_EQ(pool->totalBlocks, 32 * 16 + 32);
    for (int i = 513; i < 12000; ++i) // chunks grow no further than 256 blocks
        ASSERT_NE(AllocatePoolBlock(pool), nullptr);
    EXPECT_EQ(pool->fullChunks->capacity, 256);
    FreeBlockPool(pool); // blocks still out: nothing may leak
}

TEST(BlockPool, SharedPoolsAreCountedAndThreadSafeOnesServeThreadsAtOnce) {
    for (int allowed : {0, 1}) // a shared pool's entry, then the pool itself is refused
        EXPECT_EQ(Refused([] { return NewBlockPool(24, 16, 256, PoolShared); }, allowed), nullptr);
    BlockPool* a = NewBlockPool(24, 16, 256, PoolShared);
    BlockPool* b = NewBlockPool(17, 8, 64, PoolShared); // the same stride, 32
    BlockPool* c = NewBlockPool(40, 16, 256, PoolShared);
    BlockPool* d = NewBlockPool(24, 16, 256, PoolShared | PoolThreadSafe | 8);
    EXPECT_TRUE(a == b && a != c && a != d && d->threadSafe);
    void* block = AllocatePoolBlock(a);
    FreeBlockPool(b); // one reference left: the pool and its block stay
    std::memset(block, 0x5A, 24);
    FreeBlockPool(a);
    BlockPool* fresh = NewBlockPool(24, 16, 256, PoolShared);
    // A new pool, not the released one with its chunk.
    EXPECT_TRUE(fresh->sharedEntry->referenceCount == 1 && fresh->totalBlocks == 0);

    std::atomic<int> corrupted = 0;
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                int64_t* mine[50];
                for (int i = 0; i < 50; ++i)
                    *(mine[i] = static_cast<int64_t*>(AllocatePoolBlock(d))) = t * 100 + i;
                for (int i = 0; i < 50; ++i)
                    corrupted += *mine[i] != t * 100 + i, FreePoolBlock(d, mine[i]);
            }
        });
    threads.clear(); // joins them
    EXPECT_TRUE(corrupted == 0 && d->totalBlocks == 0);
    for (BlockPool* pool : {fresh, c, d})
        FreeBlockPool(pool);
}

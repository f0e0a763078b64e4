#include "platform/media/PixelBuffer.h"
#include "platform/media/PixelBufferPool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

namespace {

bool allZero(const PixelBuffer& buffer)
{
    for (int y = 0; y < buffer.height(); ++y)
        for (size_t i = 0; i < static_cast<size_t>(buffer.width()) * 4; ++i)
            if (buffer.row(y)[i] != 0)
                return false;
    return true;
}

// Small pictures come from the heap, frames from mapped pages: both start transparent, align their rows,
// and copy, move and recycle alike.
TEST(PixelBufferTest, SmallPicturesAndFramesBehaveAlike)
{
    for (const auto& [width, height] : {std::pair {17, 9}, std::pair {1920, 1080}}) {
        SCOPED_TRACE(width);
        PixelBuffer picture(width, height);
        EXPECT_TRUE(allZero(picture));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(picture.data()) % PixelBuffer::rowAlignment, 0u);
        EXPECT_EQ(picture.bytesPerRow() % PixelBuffer::rowAlignment, 0u);
        picture.fill(1, 2, 3, 255);
        picture.row(height - 1)[4 * (width - 1)] = 99;

        const PixelBuffer copy(picture);
        EXPECT_EQ(std::memcmp(copy.data(), picture.data(), picture.byteCount()), 0);
        PixelBuffer moved(std::move(picture));
        EXPECT_EQ(moved.row(height - 1)[4 * (width - 1)], 99);
        PixelBuffer assigned(1, 1);
        assigned = copy;
        EXPECT_EQ(assigned.row(0)[2], 3);
        assigned = PixelBuffer(2, 2); // the old frame goes back to the system here
        EXPECT_TRUE(allZero(assigned));
    }
    EXPECT_TRUE(PixelBuffer(0, 5).isEmpty());
}

TEST(PixelBufferTest, PoolHandsARecycledFrameBack)
{
    auto pool = PixelBufferPool::make(1280, 720, 2);
    const PixelBuffer* first = nullptr;
    {
        auto frame = pool->take();
        first = frame.get();
        frame->fill(9, 9, 9, 255);
    }
    EXPECT_EQ(pool->idleCount(), 1u);
    auto again = pool->take();
    EXPECT_EQ(again.get(), first);
    EXPECT_EQ(again->row(719)[0], 9) << "reused buffers keep their contents";
}

// Readers skip the opacity scan of a marked picture, so a mark that outlived a write would let a
// transparent pixel pass as opaque.
TEST(PixelBufferTest, OpaqueMarkLastsUntilTheNextWriteAccess)
{
    PixelBuffer picture(64, 32);
    EXPECT_FALSE(picture.isKnownOpaque()) << "fresh pictures are transparent";
    picture.fill(1, 2, 3, 128);
    EXPECT_FALSE(picture.isKnownOpaque());
    picture.fill(1, 2, 3, 255);
    EXPECT_TRUE(picture.isKnownOpaque());
    const PixelBuffer& reader = picture;
    EXPECT_EQ(reader.row(5)[3], 255);
    EXPECT_EQ(reader.data()[3], 255);
    EXPECT_TRUE(picture.isKnownOpaque()) << "reading keeps the mark";

    const PixelBuffer whole(picture);
    EXPECT_TRUE(whole.isKnownOpaque()) << "a whole copy is as opaque";
    PixelBuffer assigned(2, 2);
    assigned = whole;
    EXPECT_TRUE(assigned.isKnownOpaque());

    picture.row(31)[4 * 63 + 3] = 0;
    EXPECT_FALSE(picture.isKnownOpaque()) << "a row handed out for writing";
    EXPECT_TRUE(whole.isKnownOpaque()) << "copies are their own pictures";
    assigned = picture;
    EXPECT_FALSE(assigned.isKnownOpaque()) << "a copy of an unmarked picture";

    PixelBuffer marked(whole);
    marked.data();
    EXPECT_FALSE(marked.isKnownOpaque()) << "the whole buffer handed out for writing";
    marked.markOpaque();
    PixelBuffer moved(std::move(marked));
    EXPECT_TRUE(moved.isKnownOpaque());
    EXPECT_FALSE(marked.isKnownOpaque()); // NOLINT(bugprone-use-after-move): a moved-from picture is empty
    EXPECT_TRUE(marked.isEmpty()); // NOLINT(bugprone-use-after-move)
    PixelBuffer empty(0, 0);
    empty.markOpaque();
    EXPECT_FALSE(empty.isKnownOpaque());
}

} // namespace

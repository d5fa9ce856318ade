#include <gtest/gtest.h>

#include <QString>

#include "platform/BlockVector.h"

// Blocks of four elements, so that a few dozen rows cross many block edges.
TEST(BlockVector, KeepsEveryRowAcrossBlockEdgesAndMovesWhole) {
    kv::TBlockVector<QString, 2> rows;
    EXPECT_TRUE(rows.empty());
    for (int i = 0; i < 37; ++i)
        rows.push_back(QString::number(i));
    ASSERT_EQ(rows.size(), 37u);
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i], QString::number(i)) << i;
    rows[3] = QStringLiteral("three");
    rows[4] = QStringLiteral("four");
    EXPECT_EQ(rows[3], "three");
    EXPECT_EQ(rows[4], "four");
    EXPECT_EQ(rows[5], "5");

    kv::TBlockVector<QString, 2> moved = std::move(rows);
    EXPECT_TRUE(rows.empty());
    ASSERT_EQ(moved.size(), 37u);
    EXPECT_EQ(moved[36], "36");
    moved.clear();
    EXPECT_TRUE(moved.empty());
    moved.push_back(QStringLiteral("again"));
    EXPECT_EQ(moved[0], "again");
}

// The lookup rules of the output-object system: a method is found through its bucket's
// chain, then in the superclasses, and an id no class has yields 0x80008001.
#include "objects.h"

#include <gtest/gtest.h>

#include "robmat/output_protocol.h"

namespace {

using namespace robmat::host;
using namespace robmat;

int32_t m1(OutputObjectBase*, int32_t, WOB_PARM_BLK_STR*) { return 1; }
int32_t m2(OutputObjectBase*, int32_t, WOB_PARM_BLK_STR*) { return 2; }
int32_t m3(OutputObjectBase*, int32_t, WOB_PARM_BLK_STR*) { return 3; }

TEST(ObjectMethods, ChainSuperclassAndMissing) {
  // Mask 3: ids 0x10, 0x14 and 0x18 share bucket 0, so two of them are found along a chain.
  ObjClass base = make_class("base", nullptr, 3, {{0x21, m3}});
  ObjClass derived = make_class("derived", &base, 3, {{0x10, m1}, {0x14, m2}, {0x18, m1}});
  struct Case {
    int32_t id;
    int32_t want;  // 0: not found
  } cases[] = {{0x10, 1}, {0x14, 2}, {0x18, 1}, {0x21, 3}, {0x1C, 0}, {0x22, 0}};
  OutputObjectBase o(&derived);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    int32_t rc = object_method(&o, nullptr, c.id, 0, nullptr);
    EXPECT_EQ(rc, c.want ? c.want : kWobNoMethod);
  }
  EXPECT_EQ(kWobNoMethod, static_cast<int32_t>(0x80008001u));
}

TEST(ObjectMethods, HostClassesAnswerTheProtocol) {
  const ObjClass* rpx = class_named("rpx");
  const ObjClass* table = class_named("table");
  ASSERT_TRUE(rpx && table);
  for (int id : {kSelCreate, kSelBind, kSelRender, kSelTextLine, kSelPrintMatrix, kSelClose})
    EXPECT_NE(find_method(rpx, id), nullptr) << id;
  for (int id : {kSelTitle, kSelDefineColumn, kSelEndColumns, kSelAppend, kSelFinish, kSelClose})
    EXPECT_NE(find_method(table, id), nullptr) << id;
  EXPECT_EQ(find_method(table, kSelPrintMatrix), nullptr);
  EXPECT_NE(find_method(root_class(), kSelCreate), nullptr);
}

}  // namespace

#include <gtest/gtest.h>

#include "model/enzym.h"

namespace ramovia {
namespace {

std::unique_ptr<TDruh> Taxon(const std::string& name, std::initializer_list<int> nums) {
  auto d = std::make_unique<TDruh>();
  d->Name = name;
  for (int n : nums) {
    auto f = std::make_unique<TFragment>();
    f->Num = n;
    f->Name = std::to_string(n * 100);
    f->EnzymId = n / 10;
    f->Reference = kTrue16;
    d->AddFragment(std::move(f));
  }
  return d;
}

TEST(ShortString, CutsNamesWhenStored) {
  ItemName a = std::string(25, 'x');
  EXPECT_EQ(a.size(), 20u);
  EnzymName e = std::string(60, 'y');
  EXPECT_EQ(e.size(), 50u);
  TDruh d;
  d.Name = "abcdefghijklmnopqrstuvwxyz";
  EXPECT_EQ(d.Name.str(), "abcdefghijklmnopqrst");
}

TEST(TDruh, LookupsAndForbiddenEnzyms) {
  auto d = Taxon("T1", {3, 5, 3});
  EXPECT_EQ(d->ItemByNum(3), d->GetFragment(0));
  EXPECT_EQ(d->ItemByNum(7), nullptr);
  EXPECT_EQ(d->ItemByText("500"), d->GetFragment(1));
  EXPECT_EQ(d->ItemByText("50"), nullptr);
  EXPECT_THROW(d->GetFragment(3), ListIndexError);
  EXPECT_THROW(d->GetFragment(-1), ListIndexError);
  EXPECT_FALSE(d->IsForbiddenEnzym(2));
  d->AddForbiddenEnzym(2);
  d->AddForbiddenEnzym(2);
  EXPECT_EQ(d->ForbiddenEnzyms.size(), 2u);
  EXPECT_TRUE(d->IsForbiddenEnzym(2));
  EXPECT_FALSE(d->IsForbiddenEnzym(12));
  EXPECT_TRUE(d->HasItemInRange(4, 5));
  EXPECT_FALSE(d->HasItemInRange(6, 9));
  d->GetFragment(1)->Reference = kFalse16;
  EXPECT_FALSE(d->HasReferenceItemInRange(4, 5));
  EXPECT_TRUE(d->HasReferenceItemInRange(1, 5));
}

TEST(ListIndexError, MessageNamesThePosition) {
  try {
    TEnzym e;
    e.GetDruh(0);
    FAIL();
  } catch (const ListIndexError& ex) {
    EXPECT_STREQ(ex.what(), "List index out of bounds (0)");
  }
}

TEST(TEnzym, ActiveTaxonListAndNameLookup) {
  TEnzym e;
  e.AddDruh(Taxon("A", {}));
  e.AddDruh(Taxon("B", {}));
  e.AddDruh(Taxon("C", {}));
  EXPECT_EQ(e.GetDruhStr("A"), 1);
  EXPECT_EQ(e.GetDruhStr("Z"), -1);
  e.RedukovaneDruhy = {e.Druhy[2].get()};
  e.UseRedukovaneDruhy = true;
  EXPECT_EQ(e.DruhyCount(), 1);
  EXPECT_EQ(e.GetDruh(0)->Name.str(), "C");
  EXPECT_EQ(e.GetDruhStr("C"), 1);
  EXPECT_EQ(e.GetDruhStr("A"), -1);
  EXPECT_THROW(e.GetDruh(1), ListIndexError);
  e.AddDruh(Taxon("D", {}));
  EXPECT_EQ(e.Druhy.size(), 4u);
  EXPECT_EQ(e.DruhyCount(), 1);
}

TEST(TEnzym, CompactDruhyListRemovesUntaggedTaxa) {
  TEnzym e;
  for (const char* n : {"A", "B", "C", "D"}) e.AddDruh(Taxon(n, {}));
  e.CompactDruhyList();
  EXPECT_EQ(e.Druhy.size(), 4u);
  e.Druhy[1]->Tag = -1;
  e.Druhy[3]->Tag = -1;
  e.CompactDruhyList();
  ASSERT_EQ(e.Druhy.size(), 2u);
  EXPECT_EQ(e.Druhy[0]->Name.str(), "A");
  EXPECT_EQ(e.Druhy[1]->Name.str(), "C");
  for (auto& d : e.Druhy) d->Tag = -1;
  e.CompactDruhyList();
  EXPECT_TRUE(e.Druhy.empty());
}

TEST(TEnzym, PrepareFragmentListTakesFirstCarrierAndIsIdempotent) {
  TEnzym e;
  e.AddDruh(Taxon("A", {2, 1}));
  e.AddDruh(Taxon("B", {1, 3}));
  e.AddDruh(Taxon("C", {}));
  e.Druhy[1]->GetFragment(0)->Name = "other";
  e.PrepareFragmentList();
  ASSERT_EQ(e.FragmentCount(), 3);
  EXPECT_EQ(e.GetFragment(0)->Num, 2);
  EXPECT_EQ(e.GetFragment(1)->Num, 1);
  EXPECT_EQ(e.GetFragment(1)->Name.str(), "100");  // A's label, not B's
  EXPECT_EQ(e.GetFragment(2)->Num, 3);
  EXPECT_EQ(e.GetFragment(2)->Tag, 2);
  EXPECT_EQ(e.GetFragment(1)->Value, 0.0);
  ASSERT_EQ(e.RedukovaneFragmenty->GetFragmentCount(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(e.RedukovaneFragmenty->GetFragment(i)->Num, e.GetFragment(i)->Num);
    EXPECT_EQ(e.RedukovaneFragmenty->GetFragment(i)->Tag, i);
  }
  EXPECT_EQ(e.Druhy[1]->GetFragment(1)->Tag, 2);
  e.PrepareFragmentList();
  EXPECT_EQ(e.FragmentCount(), 3);
  EXPECT_EQ(e.RedukovaneFragmenty->GetFragmentCount(), 3);
  // A new number after the first call restarts the running index at 0.
  e.Druhy[2]->AddFragment(std::make_unique<TFragment>());
  e.Druhy[2]->GetFragment(0)->Num = 9;
  e.PrepareFragmentList();
  ASSERT_EQ(e.FragmentCount(), 4);
  EXPECT_EQ(e.GetFragment(3)->Tag, 0);
}

TEST(TEnzym, ClearEmptiesListsAndMatricesGrowOnDemand) {
  TEnzym e;
  e.AddDruh(Taxon("A", {1}));
  e.PrepareFragmentList();
  e.Clear();
  EXPECT_EQ(e.FragmentCount(), 0);
  EXPECT_EQ(e.RedukovaneFragmenty->GetFragmentCount(), 0);
  EXPECT_TRUE(e.Druhy.empty());
  e.ReserveMatrices(3);
  e.SetDistance(3, 2, 0.5);
  e.ReserveMatrices(250);
  EXPECT_EQ(e.GetDistance(3, 2), 0.5);
  EXPECT_EQ(e.GetDistance(250, 250), 0.0);
}

}  // namespace
}  // namespace ramovia

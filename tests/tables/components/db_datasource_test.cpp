#include "tables/components/db_datasource.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tables/components/db_test_util.h"

namespace quoldex::tables {
namespace {

// Records what it is told, with the state it sees at that moment.
class RecordingLink : public TDataLink {
 public:
  std::vector<std::string> events;
  std::function<void()> on_record;

 protected:
  void StateChanged() override { events.push_back("state:" + StateName()); }
  void RecordChanged() override {
    events.push_back("record");
    if (on_record) on_record();
  }
  void DataChanged(const TField& field) override { events.push_back("data:" + field.FieldName()); }

 private:
  std::string StateName() const {
    const char* names[] = {"inactive", "browse", "edit", "insert"};
    return names[static_cast<int>(DataSource()->State())];
  }
};

class DataSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::CreateTable(dir_.Dir(), test::DefineSystemU);
    table_.SetDatabaseName(dir_.Dir());
    table_.SetTableName("systemu");
  }
  std::vector<std::string> Take() { return std::exchange(link_.events, {}); }

  test::TempDir dir_;
  TDbTable table_;
  TDataSource source_{&table_};
  RecordingLink link_;
};

TEST_F(DataSourceTest, LinksFollowStatesRowsAndAssignments) {
  link_.SetDataSource(&source_);
  EXPECT_EQ(Take(), (std::vector<std::string>{"state:inactive"}));
  table_.Open();
  EXPECT_EQ(Take(), (std::vector<std::string>{"state:browse", "record"}));
  EXPECT_TRUE(link_.Active());

  source_.Edit();  // empty table: a new row
  EXPECT_EQ(table_.State(), DataSetState::kInsert);
  EXPECT_EQ(Take(), (std::vector<std::string>{"state:insert", "record"}));
  table_.FieldByName("Package").SetAsString("core");
  EXPECT_EQ(Take(), (std::vector<std::string>{"data:Package"}));
  table_.Post();
  EXPECT_EQ(Take(), (std::vector<std::string>{"state:browse", "record"}));

  table_.Append();
  table_.FieldByName("Package").SetAsString("engine");
  table_.Post();
  Take();
  table_.First();
  table_.Next();
  table_.Next();  // past the end: no move, nothing to tell
  EXPECT_EQ(Take(), (std::vector<std::string>{"record", "record"}));

  source_.Edit();
  EXPECT_EQ(Take(), (std::vector<std::string>{"state:edit"}));
  table_.Cancel();
  EXPECT_EQ(Take(), (std::vector<std::string>{"state:browse", "record"}));
  table_.Close();
  EXPECT_EQ(Take(), (std::vector<std::string>{"state:inactive"}));
  EXPECT_FALSE(link_.Active());
}

TEST_F(DataSourceTest, DisabledSourcesAndAutoEditOffStayQuiet) {
  link_.SetDataSource(&source_);
  Take();
  source_.SetEnabled(false);
  EXPECT_EQ(Take(), (std::vector<std::string>{"state:inactive"}));
  table_.Open();
  EXPECT_EQ(source_.State(), DataSetState::kInactive);
  EXPECT_TRUE(Take().empty());
  source_.SetEnabled(true);
  EXPECT_EQ(Take(), (std::vector<std::string>{"state:browse"}));

  source_.SetAutoEdit(false);
  source_.Edit();
  EXPECT_EQ(table_.State(), DataSetState::kBrowse);
  EXPECT_TRUE(Take().empty());
}

TEST_F(DataSourceTest, AnySideMayGoFirst) {
  auto table = std::make_unique<TDbTable>();
  table->SetDatabaseName(dir_.Dir());
  table->SetTableName("systemu");
  table->Open();
  auto source = std::make_unique<TDataSource>(table.get());
  link_.SetDataSource(source.get());
  Take();
  table.reset();  // the data set first: it closes, then the source forgets it
  EXPECT_EQ(source->DataSet(), nullptr);
  EXPECT_EQ(Take(), (std::vector<std::string>{"state:inactive", "state:inactive"}));
  source.reset();  // then the source: the link forgets it
  EXPECT_EQ(link_.DataSource(), nullptr);

  // A link that destroys another one, told after it, while being told
  // about a row.
  link_.SetDataSource(&source_);
  auto other = std::make_unique<RecordingLink>();
  other->SetDataSource(&source_);
  link_.on_record = [&] { other.reset(); };
  table_.Open();
  EXPECT_EQ(other, nullptr);
  link_.on_record = nullptr;
}

TEST_F(DataSourceTest, MovingASourceToAnotherDataSetTellsTheLinks) {
  TDbTable other;
  other.SetDatabaseName(dir_.Dir());
  other.SetTableName("systemu");
  other.Open();
  link_.SetDataSource(&source_);
  Take();
  source_.SetDataSet(&other);
  EXPECT_EQ(Take(), (std::vector<std::string>{"state:browse"}));
  table_.Open();  // no longer bound
  EXPECT_TRUE(Take().empty());
  other.Close();
  EXPECT_EQ(Take(), (std::vector<std::string>{"state:inactive"}));
}

}  // namespace
}  // namespace quoldex::tables

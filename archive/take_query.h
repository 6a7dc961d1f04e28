#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "archive/take_index.h"
#include "archive/time_ranges.h"

namespace taperly {

// What the Takes window asks for: every filter combines with the others.
struct TakeFilter {
    // As typed: each word must begin a word of a take's texts or name.
    std::string words;
    std::optional<TimeBounds> bounds;
    // Talkgroups (or display lines 1) and systems, any of which a take may
    // have; none chosen: every one.
    std::vector<std::string> labels;
    std::vector<std::string> systems;
    bool starred_only = false;

    bool operator==(const TakeFilter&) const = default;
};

// How a query reads the takes: the table itself in time order, or the
// index of their texts (quicker where few takes match), chosen by how many
// takes the texts asked for hold; or, for tests that hold both to the same
// answers, one way always.
enum class QueryPlan { kChosen, kTable, kTexts };

// The takes a filter matches in the index, newest first, as they were when
// it was made: takes added later are left out, so that pages read later
// fit together (the window hears of new takes by `matching`).
class TakeQuery {
  public:
    TakeQuery(TakeIndex& index, const TakeFilter& filter, QueryPlan plan = QueryPlan::kChosen);
    ~TakeQuery();
    TakeQuery(const TakeQuery&) = delete;
    TakeQuery& operator=(const TakeQuery&) = delete;

    const TakeFilter& filter() const { return filter_; }
    TakeTotals totals();
    // `count` takes from the `offset`th on; after `below_id` (the last of
    // the page before, when known) instead of counting from the first.
    std::vector<ArchivedTake> page(std::int64_t offset, int count,
                                   std::optional<std::int64_t> below_id = std::nullopt);
    // Of the takes `ids` (added since, say), those the filter matches.
    std::vector<ArchivedTake> matching(const std::vector<std::int64_t>& ids);
    // Up to `count` takes from `id` on, oldest first, that are there to play.
    std::vector<ArchivedTake> from(std::int64_t id, int count, bool first_included);
    // How many takes are listed before the take `id`.
    std::int64_t row_of(std::int64_t id);

  private:
    using Parameter = std::variant<std::int64_t, std::string>;
    struct Clause {
        std::string sql;
        std::vector<Parameter> parameters;
    };
    // What a take `t` must be to match; `snapshot`: and added by then.
    Clause where(bool snapshot) const;
    // Where a listing reads takes from, and where a count does: the plan
    // that stays quick for what was asked.
    std::string listing_table() const;
    std::string counting_table() const;
    bool texts_are_few() const;
    // The texts asked for hold no take: nothing needs reading.
    bool matches_nothing() const;
    Statement prepare(const std::string& sql, const Clause& clause,
                      const std::vector<Parameter>& more = {});

    TakeIndex& index_;
    TakeFilter filter_;
    QueryPlan plan_;
    std::vector<std::string> words_;
    std::string chosen_table_;
    // Whether the texts chosen limit the takes (words or lists were asked).
    bool texts_chosen_ = false;
    bool texts_indexed_ = false;

    // The words that must be looked for per take, where some take's name
    // holds them beyond its texts.
    std::vector<std::string> per_take_words_;
    TakeTotals chosen_totals_;
    TakeTotals all_totals_;
    std::int64_t snapshot_ = 0;
};

}  // namespace taperly

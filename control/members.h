// The scanner control's members as one constant table, made from the rows of
// control/members.def and checked here at compile time: each property's and
// method's name, dispatch ID, kind, types, access and the state reading it
// needs, and the events. The device core takes its property rules from it,
// the automation layer its names, IDs and argument types, and the type
// library its whole shape. Plain C++: no Windows headers.
#pragma once

#include <array>
#include <cstddef>

namespace quillon {

// The control's properties as the device core knows them: one per PROPERTY
// row, in the table's order.
enum class Prop {
#define PROPERTY(name, id, type, access, needs) name,
#include "control/members.def"
};

enum class ValueType { Long, Bool, String };

namespace members {

// Dispatch IDs by name, for the code that maps a member to the core.
enum Id : long {
#define PROPERTY(name, id, type, access, needs) name = id,
#define METHOD(name, id, needs, ...) name = id,
#include "control/members.def"
};

enum class Kind { Property, Method };
enum class Access { ReadOnly, ReadWrite };
// The state a member needs (see members.def): for reading a property Nothing
// or Open; for calling a method any of them.
enum class Needs { Nothing, Open, Claimed, Enabled };
// An argument's type; the Ref types are passed in and out.
enum class Arg { Long, String, LongRef, StringRef };

struct Param {
  Arg type;
  const wchar_t *name; // for the readers of the type library
};

// Arguments in call order.
struct Params {
  static constexpr unsigned kMax = 4;
  std::array<Param, kMax> items{};
  unsigned count = 0;

  constexpr Params() = default;
  template <class... P> constexpr explicit Params(P... p) : items{p...}, count(sizeof...(P)) {}
  constexpr const Param &operator[](std::size_t i) const { return items[i]; }
  constexpr const Param *begin() const { return items.data(); }
  constexpr const Param *end() const { return items.data() + count; }
};

struct Member {
  const wchar_t *name;
  long id;
  Kind kind;
  Prop prop;      // properties: the core's property
  ValueType type; // properties: its type; methods: Long, the result code
  Access access;  // properties
  Needs needs;    // properties: what reading it needs; methods: what calling it needs
  Params params;  // methods
};

struct Event {
  const wchar_t *name;
  long id;
  Params params;
};

#define ARG(type, name)                                                                                                \
  Param { Arg::type, L"" #name }

inline constexpr Member kMembers[] = {
#define PROPERTY(name, id, type, access, needs)                                                                        \
  Member{L"" #name, id, Kind::Property, Prop::name, ValueType::type, Access::access, Needs::needs, Params()},
#define METHOD(name, id, needs, ...)                                                                                   \
  Member{L"" #name, id, Kind::Method, Prop{}, ValueType::Long, Access::ReadOnly, Needs::needs, Params(__VA_ARGS__)},
#include "control/members.def"
};

inline constexpr Event kEvents[] = {
#define EVENT(name, id, ...) Event{L"" #name, id, Params(__VA_ARGS__)},
#include "control/members.def"
};

#undef ARG

// The member with this dispatch ID, or none.
constexpr const Member *Find(long id) {
  for (const Member &m : kMembers)
    if (m.id == id) return &m;
  return nullptr;
}

// ---- compile-time checks of the table ----

constexpr wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; }

constexpr bool SameName(const wchar_t *a, const wchar_t *b) { // as automation compares them: ignoring case
  for (; *a && *b; ++a, ++b)
    if (Upper(*a) != Upper(*b)) return false;
  return *a == *b;
}

constexpr bool IsName(const wchar_t *s) {
  if (!*s) return false;
  for (; *s; ++s)
    if (!((*s >= L'a' && *s <= L'z') || (*s >= L'A' && *s <= L'Z') || (*s >= L'0' && *s <= L'9') || *s == L'_'))
      return false;
  return true;
}

constexpr bool ParamsNamed(const Params &params) {
  for (unsigned i = 0; i < params.count; ++i) {
    if (!IsName(params[i].name)) return false;
    for (std::size_t j = 0; j < i; ++j)
      if (SameName(params[i].name, params[j].name)) return false;
  }
  return true;
}

// Names valid and distinct, dispatch IDs ascending (so distinct) and below
// the range of IDispatch's own members, and arguments named.
template <class Row, std::size_t N> constexpr bool WellFormed(const Row (&rows)[N]) {
  for (std::size_t i = 0; i < N; ++i) {
    if (!IsName(rows[i].name) || rows[i].id <= 0 || rows[i].id >= 0x60000000) return false;
    if (i > 0 && rows[i].id <= rows[i - 1].id) return false;
    for (std::size_t j = 0; j < i; ++j)
      if (SameName(rows[i].name, rows[j].name)) return false;
    if (!ParamsNamed(rows[i].params)) return false;
  }
  return true;
}

// The i-th property row is Prop i, every Prop has its row, and reading one
// needs nothing or the device open.
constexpr bool PropertiesInOrder() {
  std::size_t next = 0;
  for (const Member &m : kMembers) {
    if (m.kind != Kind::Property) continue;
    if (static_cast<std::size_t>(m.prop) != next++ || m.params.count != 0) return false;
    if (m.needs != Needs::Nothing && m.needs != Needs::Open) return false;
  }
  return next > 0;
}

static_assert(WellFormed(kMembers), "member names distinct, dispatch IDs ascending, arguments named");
static_assert(WellFormed(kEvents), "event names distinct, dispatch IDs ascending, arguments named");
static_assert(PropertiesInOrder(), "one row per property, in the order of Prop; reading needs Nothing or Open");

// How many properties there are.
inline constexpr std::size_t kPropertyCount = [] {
  std::size_t n = 0;
  for (const Member &m : kMembers)
    n += m.kind == Kind::Property;
  return n;
}();

} // namespace members
} // namespace quillon

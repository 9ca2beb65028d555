#include "dialog_template.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Reads a template in place, with bounds checks on every field.
class Reader {
public:
  Reader(const BYTE *p, size_t cb) : m_p(p), m_cb(cb) {}
  bool ok() const { return m_ok; }
  size_t pos() const { return m_pos; }
  template <class T> T Read() {
    T v{};
    if (m_pos + sizeof(T) > m_cb) {
      m_ok = false;
      return v;
    }
    std::memcpy(&v, m_p + m_pos, sizeof(T));
    m_pos += sizeof(T);
    return v;
  }
  void Align(size_t n) { m_pos = (m_pos + n - 1) / n * n; }
  void Skip(size_t n) {
    if (m_pos + n > m_cb)
      m_ok = false;
    else
      m_pos += n;
  }
  // A zero-terminated wide string.
  std::wstring ReadString() {
    std::wstring s;
    for (;;) {
      const auto ch = Read<wchar_t>();
      if (!m_ok || ch == 0) return s;
      s += ch;
    }
  }
  // sz_Or_Ord: empty, an ordinal (returned as ""), or a string.
  std::wstring ReadSzOrOrd() {
    const auto first = Read<WORD>();
    if (!m_ok || first == 0) return {};
    if (first == 0xFFFF) {
      Read<WORD>();
      return {};
    }
    m_pos -= sizeof(WORD);
    return ReadString();
  }

private:
  const BYTE *m_p;
  size_t m_cb;
  size_t m_pos = 0;
  bool m_ok = true;
};

void AppendAligned(std::vector<BYTE> &out, const BYTE *p, size_t cb) {
  while (out.size() % 4)
    out.push_back(0);
  out.insert(out.end(), p, p + cb);
}

} // namespace

bool SplitDialogTemplate(const BYTE *pTemplate, size_t cb, std::vector<BYTE> &out,
                         std::vector<HostedControlItem> &hosted) {
  out.clear();
  hosted.clear();
  Reader r(pTemplate, cb);
  const auto dlgVer = r.Read<WORD>();
  const auto signature = r.Read<WORD>();
  if (!r.ok()) return false;
  if (dlgVer != 1 || signature != 0xFFFF) {
    out.assign(pTemplate, pTemplate + cb);
    return true;
  }
  r.Read<DWORD>(); // help ID
  r.Read<DWORD>(); // extended style
  const auto style = r.Read<DWORD>();
  const size_t countOffset = r.pos();
  const auto cItems = r.Read<WORD>();
  r.Skip(4 * sizeof(short));
  r.ReadSzOrOrd(); // menu
  r.ReadSzOrOrd(); // class
  r.ReadString();  // title
  if (style & (DS_SETFONT | DS_SHELLFONT)) {
    r.Read<WORD>(); // point size
    r.Read<WORD>(); // weight
    r.Read<BYTE>(); // italic
    r.Read<BYTE>(); // character set
    r.ReadString(); // typeface
  }
  if (!r.ok()) return false;
  out.assign(pTemplate, pTemplate + r.pos());

  WORD kept = 0;
  std::vector<DWORD> ids; // of every item, in template order
  for (size_t i = 0; i < cItems; ++i) {
    r.Align(4);
    const size_t start = r.pos();
    r.Read<DWORD>(); // help ID
    const auto exStyle = r.Read<DWORD>();
    const auto itemStyle = r.Read<DWORD>();
    const auto x = r.Read<short>();
    const auto y = r.Read<short>();
    const auto cx = r.Read<short>();
    const auto cy = r.Read<short>();
    const auto id = r.Read<DWORD>();
    const std::wstring cls = r.ReadSzOrOrd();
    r.ReadSzOrOrd(); // title
    const auto cbExtra = r.Read<WORD>();
    r.Skip(cbExtra);
    if (!r.ok()) return false;
    ids.push_back(id);

    CLSID clsid{};
    if (cls.size() == 38 && cls.front() == L'{' && SUCCEEDED(CLSIDFromString(cls.c_str(), &clsid))) {
      hosted.push_back(HostedControlItem{i, id, itemStyle, exStyle, RECT{x, y, x + cx, y + cy}, clsid, {}});
    } else {
      AppendAligned(out, pTemplate + start, r.pos() - start);
      ++kept;
    }
  }
  std::memcpy(out.data() + countOffset, &kept, sizeof kept);
  for (HostedControlItem &item : hosted)
    if (item.nIndex > 0 && std::count(ids.begin(), ids.end(), ids[item.nIndex - 1]) == 1)
      item.idBefore = ids[item.nIndex - 1];
  return true;
}

bool ApplyInitState(const BYTE *pData, size_t cb, std::vector<HostedControlItem> &hosted) {
  Reader r(pData, cb);
  for (;;) {
    const auto id = r.Read<WORD>();
    if (!r.ok()) return false;
    if (id == 0) return true;
    const auto length = r.Read<DWORD>();
    const size_t start = r.pos();
    r.Skip(length);
    if (!r.ok()) return false;
    for (auto &item : hosted)
      if (item.nID == id) item.initState.assign(pData + start, pData + start + length);
  }
}

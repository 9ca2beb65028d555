// The simulated device's Direct IO commands: a scanner listing, the attribute
// commands (list, get, get next, set, store, and the same through a
// pass-through command), a beep for a label not on file, a reset to the
// stored settings and a status report. Arguments and replies are XML.
#include "control/services/simulated_device.h"

#include "control/core/opos.h"
#include "control/services/parsers/text.h"
#include "control/services/parsers/xml.h"

#include <utility>
#include <vector>

namespace quillon::control {
namespace {

// Direct IO command numbers.
enum : long {
  DIO_GET_SCANNERS = 1,
  DIO_ATTR_GETALL = 5000,
  DIO_ATTR_GET = 5001,
  DIO_ATTR_GETNEXT = 5002,
  DIO_ATTR_SET = 5004,
  DIO_ATTR_STORE = 5005,
  DIO_SCAN_RESET = 502,
  DIO_SCAN_STATUS = 503,
  DIO_SCAN_DIRECT = 507,
  DIO_SCAN_NOT_ON_FILE = 508,
};

} // namespace

long SimulatedDevice::DirectIO(long command, long &data, std::wstring &text, bool claimed) {
  if (!m_settings.directIO) return opos::E_ILLEGAL;
  switch (command) {
  case DIO_GET_SCANNERS:
    data = 1;
    text = L"<scanners>\r\n <scanner type=\"SIM\">\r\n  <scannerID>1</scannerID>\r\n  <serialnumber>" +
           xml::Escape(m_attributes.Get(attributes::kSerialNumber)) + L"</serialnumber>\r\n  <modelnumber>" +
           xml::Escape(m_settings.model) + L"</modelnumber>\r\n  <firmware>" +
           xml::Escape(m_attributes.Get(attributes::kFirmware)) +
           L"</firmware>\r\n  <DoM>15Jan24</DoM>\r\n </scanner>\r\n</scanners>" + LongComment();
    return opos::SUCCESS;
  case DIO_ATTR_GETALL:
  case DIO_ATTR_GET:
  case DIO_ATTR_GETNEXT:
  case DIO_ATTR_SET:
  case DIO_ATTR_STORE: {
    std::optional<xml::Node> doc = xml::Parse(text);
    if (!doc) return opos::E_ILLEGAL;
    return Attributes(command, *doc, data, text, claimed);
  }
  case DIO_SCAN_DIRECT: {
    std::optional<xml::Node> doc = xml::Parse(text);
    if (!doc || doc->name != L"inArgs") return opos::E_ILLEGAL;
    long long opcode = 0;
    const std::optional<std::wstring> op = doc->ChildText(L"opcode");
    if (!op || !text::ParseInteger(*op, opcode)) return opos::E_ILLEGAL;
    if (opcode < DIO_ATTR_GETALL || opcode > DIO_ATTR_STORE || opcode == 5003) return opos::E_ILLEGAL;
    return Attributes(static_cast<long>(opcode), *doc, data, text, claimed);
  }
  case DIO_SCAN_NOT_ON_FILE:
    if (!claimed) return opos::E_NOTCLAIMED;
    Bump(L"NotOnFileCount");
    Bump(L"BeepCount");
    data = 0;
    return opos::SUCCESS;
  case DIO_SCAN_RESET:
    // Back to the stored settings, as after a power cycle; the statistics go on.
    if (!claimed) return opos::E_NOTCLAIMED;
    m_attributes.Reset(m_store.LoadAttributes());
    Bump(L"ScannerResetCount");
    data = 0;
    return opos::SUCCESS;
  case DIO_SCAN_STATUS:
    data = m_power == opos::PS_ONLINE ? 0 : 1;
    text = L"<status>\r\n <power>" + std::wstring(m_power == opos::PS_ONLINE ? L"online" : L"offline") +
           L"</power>\r\n <enabled>" + (m_enabled ? L"true" : L"false") + L"</enabled>\r\n</status>" + LongComment();
    return opos::SUCCESS;
  }
  return opos::E_ILLEGAL;
}

// The attribute commands. The argument document is
// <inArgs><scannerID>1</scannerID><cmdArgs><arg-xml><attrib_list>...</attrib_list></arg-xml></cmdArgs></inArgs>.
long SimulatedDevice::Attributes(long command, const xml::Node &doc, long &data, std::wstring &text, bool claimed) {
  using attributes::AttributeInfo;
  if (doc.name != L"inArgs" || doc.ChildText(L"scannerID") != L"1") return opos::E_ILLEGAL;
  const xml::Node *list = nullptr;
  if (const xml::Node *cmd = doc.Child(L"cmdArgs"))
    if (const xml::Node *arg = cmd->Child(L"arg-xml")) list = arg->Child(L"attrib_list");
  if (command != DIO_ATTR_GETALL && !list) return opos::E_ILLEGAL;

  std::wstring body;
  auto describe = [&](const AttributeInfo &a) {
    body += L"    <attribute>\r\n     <id>" + std::to_wstring(a.id) + L"</id>\r\n     <name>" + xml::Escape(a.name) +
            L"</name>\r\n     <datatype>" + std::wstring(1, a.datatype) + L"</datatype>\r\n     <permission>" +
            (a.readable ? L"R" : L"") + (a.writable ? L"W" : L"") + L"</permission>\r\n     <value>" +
            (a.readable ? xml::Escape(m_attributes.Get(a.id)) : L"") + L"</value>\r\n    </attribute>\r\n";
  };
  switch (command) {
  case DIO_ATTR_GETALL:
    for (const AttributeInfo &a : attributes::Table())
      body += L"    <attribute name=\"" + xml::Escape(a.name) + L"\">" + std::to_wstring(a.id) + L"</attribute>\r\n";
    break;
  case DIO_ATTR_GET:
  case DIO_ATTR_GETNEXT:
    for (const std::wstring &item : text::SplitList(list->text, L',')) {
      long long id = 0;
      if (!text::ParseInteger(item, id)) return opos::E_ILLEGAL;
      if (command == DIO_ATTR_GET) {
        const AttributeInfo *a = id >= 0 && id <= 0xFFFF ? attributes::Find(static_cast<int>(id)) : nullptr;
        if (!a) return opos::E_ILLEGAL;
        describe(*a);
      } else if (const AttributeInfo *next = attributes::After(id)) {
        describe(*next);
      }
    }
    break;
  case DIO_ATTR_SET:
  case DIO_ATTR_STORE: {
    if (!claimed) return opos::E_NOTCLAIMED;
    std::vector<std::pair<const AttributeInfo *, std::wstring>> changes;
    for (const xml::Node &node : list->children) {
      if (node.name != L"attribute") return opos::E_ILLEGAL;
      const std::optional<std::wstring> id = node.ChildText(L"id"), type = node.ChildText(L"datatype"),
                                        value = node.ChildText(L"value");
      long long n = 0;
      if (!id || !type || !value || !text::ParseInteger(*id, n) || n < 0 || n > 0xFFFF) return opos::E_ILLEGAL;
      const AttributeInfo *a = attributes::Find(static_cast<int>(n));
      if (!a || !a->writable || type->size() != 1 || (*type)[0] != a->datatype ||
          !attributes::ValidValue(a->datatype, *value))
        return opos::E_ILLEGAL;
      changes.emplace_back(a, *value);
    }
    if (changes.empty()) return opos::E_ILLEGAL;
    for (const auto &[a, value] : changes) {
      if (a->datatype == L'X') {
        Bump(L"BeepCount");
        continue;
      }
      m_attributes.Set(a->id, value);
      if (command == DIO_ATTR_STORE && !m_store.StoreAttribute(a->id, value)) return opos::E_FAILURE;
    }
    break;
  }
  }
  data = 0;
  text = L"<outArgs>\r\n <scannerID>1</scannerID>\r\n <arg-xml>\r\n  <modelnumber>" + xml::Escape(m_settings.model) +
         L"</modelnumber>\r\n  <serialnumber>" + xml::Escape(m_attributes.Get(attributes::kSerialNumber)) +
         L"</serialnumber>\r\n  <response>\r\n   <opcode>" + std::to_wstring(command) + L"</opcode>\r\n";
  if (!body.empty()) text += L"   <attrib_list>\r\n" + body + L"   </attrib_list>\r\n";
  text += L"  </response>\r\n </arg-xml>\r\n</outArgs>" + LongComment();
  return opos::SUCCESS;
}

} // namespace quillon::control

// The Direct IO command table: the vendor commands the Direct IO panel
// offers, each with its number and the XML argument put into the input field
// when the command is chosen.
#pragma once

// One command of the table.
struct DirectIOCommand {
  const wchar_t *pszName;         // shown in the command list
  long nCommand;                  // the Command argument of DirectIO
  const wchar_t *pszDefaultInput; // never null; empty for a command without input
};

namespace direct_io_texts {

// Lines are joined by CR LF, with no line break after the last one.

inline constexpr wchar_t kScanner[] = L"<inArgs>\r\n"
                                      L" <scannerID>1</scannerID>\r\n"
                                      L"</inArgs>";

inline constexpr wchar_t kAttributeList[] = L"<inArgs>\r\n"
                                            L" <scannerID>1</scannerID>\r\n"
                                            L" <cmdArgs>\r\n"
                                            L"  <arg-xml>\r\n"
                                            L"   <attrib_list>1</attrib_list>\r\n"
                                            L"  </arg-xml>\r\n"
                                            L" </cmdArgs>\r\n"
                                            L"</inArgs>";

inline constexpr wchar_t kSetAttribute[] = L"<inArgs>\r\n"
                                           L" <scannerID>1</scannerID>\r\n"
                                           L" <cmdArgs>\r\n"
                                           L"  <arg-xml>\r\n"
                                           L"   <attrib_list>\r\n"
                                           L"    <attribute>\r\n"
                                           L"     <id>6000</id>\r\n"
                                           L"     <datatype>X</datatype>\r\n"
                                           L"     <value>2</value>\r\n"
                                           L"    </attribute>\r\n"
                                           L"   </attrib_list>\r\n"
                                           L"  </arg-xml>\r\n"
                                           L" </cmdArgs>\r\n"
                                           L"</inArgs>";

inline constexpr wchar_t kStoreAttribute[] = L"<inArgs>\r\n"
                                             L" <scannerID>1</scannerID>\r\n"
                                             L" <cmdArgs>\r\n"
                                             L"  <arg-xml>\r\n"
                                             L"   <attrib_list>\r\n"
                                             L"    <attribute>\r\n"
                                             L"     <id>1</id>\r\n"
                                             L"     <datatype>F</datatype>\r\n"
                                             L"     <value>True</value>\r\n"
                                             L"    </attribute>\r\n"
                                             L"   </attrib_list>\r\n"
                                             L"  </arg-xml>\r\n"
                                             L" </cmdArgs>\r\n"
                                             L"</inArgs>";

// The set-attribute text sent through the pass-through command, which names
// the command it carries (5004, RSM_ATTR_SET) in its opcode element.
inline constexpr wchar_t kPassThrough[] = L"<inArgs>\r\n"
                                          L" <scannerID>1</scannerID>\r\n"
                                          L" <opcode>5004</opcode>\r\n"
                                          L" <cmdArgs>\r\n"
                                          L"  <arg-xml>\r\n"
                                          L"   <attrib_list>\r\n"
                                          L"    <attribute>\r\n"
                                          L"     <id>6000</id>\r\n"
                                          L"     <datatype>X</datatype>\r\n"
                                          L"     <value>2</value>\r\n"
                                          L"    </attribute>\r\n"
                                          L"   </attrib_list>\r\n"
                                          L"  </arg-xml>\r\n"
                                          L" </cmdArgs>\r\n"
                                          L"</inArgs>";

static_assert(sizeof(kScanner) / sizeof(wchar_t) - 1 == 46);
static_assert(sizeof(kAttributeList) / sizeof(wchar_t) - 1 == 131);
static_assert(sizeof(kSetAttribute) / sizeof(wchar_t) - 1 == 242);
static_assert(sizeof(kStoreAttribute) / sizeof(wchar_t) - 1 == 242);
static_assert(sizeof(kPassThrough) / sizeof(wchar_t) - 1 == 266);

} // namespace direct_io_texts

// The commands in list order. Entries of the list and the dialog's current
// command point at these rows, which live for the whole run.
inline constexpr DirectIOCommand kDirectIOCommands[] = {
    {L"GET_SCANNERS", 1, L""},
    {L"RSM_ATTR_GETALL", 5000, direct_io_texts::kScanner},
    {L"RSM_ATTR_GET", 5001, direct_io_texts::kAttributeList},
    {L"RSM_ATTR_GETNEXT", 5002, direct_io_texts::kAttributeList},
    {L"RSM_ATTR_SET", 5004, direct_io_texts::kSetAttribute},
    {L"RSM_ATTR_STORE", 5005, direct_io_texts::kStoreAttribute},
    {L"NCRDIO_SCAN_NOT_ON_FILE", 508, L""},
    {L"NCRDIO_SCAN_RESET", 502, L""},
    {L"NCRDIO_SCAN_STATUS", 503, L""},
    {L"NCRDIO_SCAN_DIRECT", 507, direct_io_texts::kPassThrough},
};
inline constexpr int kDirectIOCommandCount = sizeof(kDirectIOCommands) / sizeof(kDirectIOCommands[0]);
static_assert(kDirectIOCommandCount == 10);

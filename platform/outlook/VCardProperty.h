#pragma once

#include <string>
#include <vector>

namespace outlook {
// One unfolded content line of a vCard: "[group.]NAME *(;param) : value".
// Names and parameter names are kept in upper case; a bare parameter of the
// 2.1 form ("TEL;CELL:") counts as a TYPE value. The value is kept as
// written and decoded on request.
class CVCardProperty {
public:
    // False when the line has no name or no ':' after it.
    bool Parse(const std::string& line);

    // Without its group prefix, in upper case.
    const std::string& GetName() const { return m_name; }
    const std::string& GetRawValue() const { return m_value; }

    // The first value of a parameter, empty when it is missing.
    std::string GetParameter(const std::string& name) const;
    // Whether TYPE lists the type, in any case.
    bool HasType(const std::string& type) const;
    // Every TYPE value, in upper case.
    std::vector<std::string> GetTypes() const;
    // 1 (most preferred) to 100 from PREF=n or TYPE=PREF; 101 without either.
    int GetPreference() const;
    bool IsQuotedPrintable() const;

    // The value as text: quoted-printable and a Latin-1 charset decoded,
    // escapes undone, every line end a LF, NUL bytes dropped.
    std::string GetText() const;
    // The value split at unescaped semicolons, each piece decoded as text.
    std::vector<std::string> GetComponents() const;

    // Whether the part of a raw line before its value asks for
    // quoted-printable, whose soft line breaks join lines.
    static bool HeaderAsksQuotedPrintable(const std::string& line);
    // Where the value of a raw line starts (just past the ':'), or npos.
    static std::string::size_type ValueStart(const std::string& line);

private:
    struct Parameter {
        std::string name;
        std::vector<std::string> values;
    };

    void ParseHeader(const std::string& header);
    void AddParameter(const std::string& text);
    const Parameter* FindParameter(const std::string& name) const;
    std::string DecodedBytes() const;

    std::string m_name;
    std::vector<Parameter> m_parameters;
    std::string m_value;
};
} // namespace outlook

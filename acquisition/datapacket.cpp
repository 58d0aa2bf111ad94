#include "acquisition/datapacket.h"

#include "acquisition/cp1252.h"
#include "acquisition/wholefile.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTime>
#include <algorithm>
#include <array>
#include <functional>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <pugixml.hpp>

namespace acq {

namespace {

// ---- writing ------------------------------------------------------------------------------

QString typeName(const FieldDef& f) {
    if (!f.fileType.isEmpty())
        return f.fileType;
    switch (f.type) {
    case FieldType::Integer:
    case FieldType::AutoInc: return QStringLiteral("i4");
    case FieldType::LargeInt: return QStringLiteral("i8");
    case FieldType::Float: return QStringLiteral("r8");
    case FieldType::String: return QStringLiteral("string");
    case FieldType::Boolean: return QStringLiteral("boolean");
    case FieldType::Date: return QStringLiteral("date");
    case FieldType::Time: return QStringLiteral("time");
    case FieldType::DateTime: return QStringLiteral("dateTime");
    case FieldType::Binary: return QStringLiteral("bin.hex");
    }
    return QStringLiteral("string");
}

void appendEscaped(QByteArray& out, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    for (char c : utf8) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        case '\r': out += "&#013;"; break;
        case '\n': out += "&#010;"; break;
        case '\t': out += "&#009;"; break;
        default: out += c;
        }
    }
}

// Text of a value that is not written as a number.
QString otherText(const FieldDef& f, const QVariant& v) {
    switch (f.type) {
    case FieldType::Boolean: return v.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case FieldType::Date: return v.toDate().toString(QStringLiteral("yyyyMMdd"));
    case FieldType::Time: return v.toTime().toString(QStringLiteral("hh:mm:sszzz"));
    case FieldType::DateTime: return v.toDateTime().toString(QStringLiteral("yyyyMMddThh:mm:sszzz"));
    case FieldType::Binary: return QString::fromLatin1(v.toByteArray().toHex().toUpper());
    default: return v.toString();
    }
}

void appendValue(QByteArray& out, const FieldDef& f, const QVariant& v) {
    char buf[32];
    std::to_chars_result r{};
    switch (f.type) {
    case FieldType::Integer:
    case FieldType::LargeInt:
    case FieldType::AutoInc: r = std::to_chars(buf, buf + sizeof buf, v.toLongLong()); break;
    case FieldType::Float:
        // The shortest digits that read back to the same double: a file gives back bit for
        // bit what was saved.
        r = std::to_chars(buf, buf + sizeof buf, v.toDouble());
        break;
    default: appendEscaped(out, otherText(f, v)); return;
    }
    out.append(buf, static_cast<qsizetype>(r.ptr - buf));
}

// ---- reading: values ----------------------------------------------------------------------

std::optional<FieldType> parseType(const QString& t, bool autoinc) {
    const QString l = t.toLower();
    if (l == QLatin1String("i4") && autoinc)
        return FieldType::AutoInc;
    if (l == QLatin1String("i1") || l == QLatin1String("i2") || l == QLatin1String("i4") ||
        l == QLatin1String("ui1") || l == QLatin1String("ui2"))
        return FieldType::Integer;
    if (l == QLatin1String("i8") || l == QLatin1String("ui4") || l == QLatin1String("ui8"))
        return FieldType::LargeInt;
    if (l == QLatin1String("r4") || l == QLatin1String("r8") || l == QLatin1String("fixed"))
        return FieldType::Float;
    if (l == QLatin1String("string") || l == QLatin1String("string.uni"))
        return FieldType::String;
    if (l == QLatin1String("boolean"))
        return FieldType::Boolean;
    if (l == QLatin1String("date"))
        return FieldType::Date;
    if (l == QLatin1String("time"))
        return FieldType::Time;
    if (l == QLatin1String("datetime"))
        return FieldType::DateTime;
    if (l == QLatin1String("bin.hex"))
        return FieldType::Binary;
    return std::nullopt;
}

// A field's value from its text as the file means it; the general reading, for any text.
std::optional<QVariant> parseText(const FieldDef& f, const QString& text) {
    bool ok = false;
    switch (f.type) {
    case FieldType::String: return QVariant(text);
    case FieldType::Integer:
    case FieldType::LargeInt:
    case FieldType::AutoInc: {
        if (text.isEmpty())
            return QVariant();
        const qint64 v = text.trimmed().toLongLong(&ok);
        if (!ok)
            return std::nullopt;
        if (f.type != FieldType::LargeInt && (v < INT32_MIN || v > INT32_MAX))
            return std::nullopt;
        return f.type == FieldType::LargeInt ? QVariant(v) : QVariant(static_cast<int>(v));
    }
    case FieldType::Float: {
        if (text.isEmpty())
            return QVariant();
        const double v = text.trimmed().toDouble(&ok);
        // NaN and infinities are no measurement; they are refused as config.xml refuses them.
        return ok && std::isfinite(v) ? std::optional<QVariant>(QVariant(v)) : std::nullopt;
    }
    case FieldType::Boolean: {
        if (text.isEmpty())
            return QVariant();
        if (text.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
            return QVariant(true);
        if (text.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0)
            return QVariant(false);
        return std::nullopt;
    }
    case FieldType::Date: {
        if (text.isEmpty())
            return QVariant();
        const QDate d = QDate::fromString(text, QStringLiteral("yyyyMMdd"));
        return d.isValid() ? std::optional<QVariant>(QVariant(d)) : std::nullopt;
    }
    case FieldType::Time: {
        if (text.isEmpty())
            return QVariant();
        QTime t = QTime::fromString(text.left(8), QStringLiteral("hh:mm:ss"));
        if (t.isValid() && text.size() > 8)
            t = t.addMSecs(text.mid(8).toInt());
        return t.isValid() ? std::optional<QVariant>(QVariant(t)) : std::nullopt;
    }
    case FieldType::DateTime: {
        if (text.isEmpty())
            return QVariant();
        const QDate d = QDate::fromString(text.left(8), QStringLiteral("yyyyMMdd"));
        QTime t(0, 0);
        if (text.size() > 9)
            t = QTime::fromString(text.mid(9, 8), QStringLiteral("hh:mm:ss"));
        if (!d.isValid() || !t.isValid())
            return std::nullopt;
        if (text.size() > 17)
            t = t.addMSecs(text.mid(17).toInt());
        return QVariant(QDateTime(d, t));
    }
    case FieldType::Binary: {
        if (text.isEmpty())
            return QVariant();
        return QVariant(QByteArray::fromHex(text.toLatin1()));
    }
    }
    return std::nullopt;
}

// Texts that the general reading and the quick one below read alike: an optional minus,
// digits, and for floats a fraction and an exponent. Anything else takes the general way.
bool plainInteger(const char* s, qint64& v) {
    const bool neg = *s == '-';
    const char* p = neg ? s + 1 : s;
    qint64 n = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9'; ++p, ++digits)
        n = n * 10 + (*p - '0');
    if (*p != 0 || digits == 0 || digits > 18)
        return false;
    v = neg ? -n : n;
    return true;
}

bool plainFloat(const char* s, double& v) {
    const char* p = s;
    if (*p == '-')
        ++p;
    const char* const digits = p;
    while (*p >= '0' && *p <= '9')
        ++p;
    if (p == digits)
        return false;
    if (*p == '.') {
        const char* const frac = ++p;
        while (*p >= '0' && *p <= '9')
            ++p;
        if (p == frac)
            return false;
    }
    if (*p == 'e' || *p == 'E') {
        ++p;
        if (*p == '+' || *p == '-')
            ++p;
        const char* const exp = p;
        while (*p >= '0' && *p <= '9')
            ++p;
        if (p == exp)
            return false;
    }
    if (*p != 0)
        return false;
    const auto r = std::from_chars(s, p, v);
    // Out of range (and, with some libraries, subnormal) results take the general way, which
    // decides them as it always did.
    return r.ec == std::errc() && r.ptr == p && std::isfinite(v);
}

// ---- reading: the document ----------------------------------------------------------------

const char* statusText(pugi::xml_parse_status s) {
    switch (s) {
    case pugi::status_out_of_memory: return "memória insuficiente para ler o arquivo";
    case pugi::status_unrecognized_tag: return "marcação não reconhecida";
    case pugi::status_bad_pi: return "instrução de processamento inválida ou sem fim";
    case pugi::status_bad_comment: return "comentário inválido ou sem fim";
    case pugi::status_bad_cdata: return "seção CDATA inválida ou sem fim";
    case pugi::status_bad_doctype: return "declaração de tipo de documento inválida ou sem fim";
    case pugi::status_bad_pcdata: return "texto inválido";
    case pugi::status_bad_start_element: return "início de elemento inválido";
    case pugi::status_bad_attribute: return "atributo inválido";
    case pugi::status_bad_end_element: return "fim de elemento inválido";
    case pugi::status_end_element_mismatch: return "arquivo truncado ou elemento fechado fora de ordem";
    case pugi::status_no_document_element: return "nenhum elemento encontrado";
    default: return "erro de leitura";
    }
}

constexpr unsigned char asciiLower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// Names compare ignoring case. While both are ASCII a byte compare decides; a name with other
// characters compares as Qt compares texts, as field names always did.
bool sameName(const char* a, const char* b, qsizetype bn, const QString* bText = nullptr) {
    qsizetype i = 0;
    for (; a[i] != 0 && i < bn; ++i) {
        const auto c = static_cast<unsigned char>(a[i]), d = static_cast<unsigned char>(b[i]);
        if (c >= 0x80 || d >= 0x80)
            break;
        if (asciiLower(c) != asciiLower(d))
            return false;
    }
    if (i == bn && a[i] == 0)
        return true;
    if (static_cast<unsigned char>(a[i]) < 0x80 && (i == bn || static_cast<unsigned char>(b[i]) < 0x80))
        return false;
    const QString at = QString::fromUtf8(a);
    return bText ? at.compare(*bText, Qt::CaseInsensitive) == 0
                 : at.compare(QString::fromUtf8(b, bn), Qt::CaseInsensitive) == 0;
}

template <std::size_t N>
bool sameName(const char* a, const char (&ascii)[N]) {
    return sameName(a, ascii, static_cast<qsizetype>(N - 1));
}

bool sameNameAs(const char* a, const char* ascii) {
    return sameName(a, ascii, static_cast<qsizetype>(std::strlen(ascii)));
}

// Exactly the same bytes, `b` being `n` bytes long.
bool sameBytes(const char* a, const char* b, qsizetype n) {
    for (qsizetype i = 0; i < n; ++i)
        if (a[i] != b[i])
            return false;
    return a[n] == 0;
}

pugi::xml_node childNamed(pugi::xml_node n, const char* name) {
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && sameNameAs(c.name(), name))
            return c;
    return {};
}

const char* attrNamed(pugi::xml_node n, const char* name) {
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
        if (sameNameAs(a.name(), name))
            return a.value();
    return nullptr;
}

// The change log of a packet that kept one: (row, the row it replaces, action) triples, rows
// counted from 1 in document order; empty when there is none.
std::vector<std::array<long long, 3>> changeLog(pugi::xml_node meta) {
    std::vector<std::array<long long, 3>> log;
    const char* text = attrNamed(childNamed(meta, "PARAMS"), "CHANGE_LOG");
    if (!text)
        return log;
    const QList<QByteArray> parts = QByteArray(text).simplified().split(' ');
    for (qsizetype i = 0; i + 2 < parts.size(); i += 3) {
        std::array<long long, 3> t{};
        for (int k = 0; k < 3; ++k) {
            bool ok = false;
            t[static_cast<size_t>(k)] = parts[i + k].toLongLong(&ok);
            if (!ok)
                t[static_cast<size_t>(k)] = -1; // refused below
        }
        log.push_back(t);
    }
    if (parts.size() % 3 != 0 && !(parts.size() == 1 && parts[0].isEmpty()))
        log.push_back({-1, -1, -1});
    return log;
}

// The current rows in the order they stand, each followed by the rows it replaces (newest
// first). A modified row is written after all the others but stands where the row it replaces
// stood, following the chain when a row was modified more than once: the change log's
// (row, replaced row, action) triples say which. A modified row the log does not link follows
// the superseded row just before it.
std::optional<std::vector<std::vector<size_t>>> rowChains(size_t n, const std::function<int(size_t)>& state,
                                                         const std::vector<std::array<long long, 3>>& log,
                                                         QString* error) {
    constexpr size_t none = SIZE_MAX;
    std::vector<size_t> replaces(n, none), replacedBy(n, none);
    auto link = [&](size_t row, size_t old) {
        if (replacedBy[old] != none) {
            *error = QStringLiteral("registro de alterações (CHANGE_LOG) inválido: a linha %1 é substituída duas vezes").arg(old + 1);
            return false;
        }
        replaces[row] = old;
        replacedBy[old] = row;
        return true;
    };
    for (const auto& [row, old, action] : log) {
        if (row < 1 || static_cast<unsigned long long>(row) > n || old < 0 || static_cast<unsigned long long>(old) > n ||
            action < 0) {
            *error = QStringLiteral("registro de alterações (CHANGE_LOG) inválido");
            return std::nullopt;
        }
        const auto r = static_cast<size_t>(row - 1), o = static_cast<size_t>(old - 1);
        // Only a modification of a superseded row moves a row; the rest of the log is history.
        if (old != 0 && old != row && (action & 8) && (state(r) & 8) && (state(o) & 1) && replaces[r] == none &&
            !link(r, o))
            return std::nullopt;
    }
    for (size_t i = 1; i < n; ++i)
        if ((state(i) & 8) && replaces[i] == none && (state(i - 1) & 1) && replacedBy[i - 1] == none)
            link(i, i - 1);
    // Rows replacing each other in a circle have no original to stand in for.
    for (size_t i = 0; i < n; ++i)
        for (size_t k = i, steps = 0; replaces[k] != none; k = replaces[k])
            if (++steps > n) {
                *error = QStringLiteral("registro de alterações (CHANGE_LOG) inválido: substituições em círculo");
                return std::nullopt;
            }
    std::vector<std::vector<size_t>> out;
    for (size_t i = 0; i < n; ++i) {
        if (replaces[i] != none)
            continue; // stands where its first original stood
        std::vector<size_t> chain{i};
        while (replacedBy[chain.back()] != none)
            chain.push_back(replacedBy[chain.back()]);
        if ((state(chain.back()) & 0x23) != 0)
            continue; // superseded without a successor, or deleted
        std::reverse(chain.begin(), chain.end());
        out.push_back(std::move(chain));
    }
    return out;
}

// A field's name as the rows carry it.
struct FieldName {
    QString name;
    QByteArray utf8;
    bool matches(const char* attrName) const { return sameName(attrName, utf8.constData(), utf8.size(), &name); }
};

class Reader {
public:
    explicit Reader(const char* base) : base_(base) {}

    bool read(const pugi::xml_document& doc, RecordSink& sink);
    QString error() const { return error_; }

private:
    bool fail(const QString& why) {
        error_ = why;
        return false;
    }
    bool failAt(const QString& why, const char* at) {
        return fail(QStringLiteral("não é um arquivo XML válido: %1 (posição %2)").arg(why).arg(at - base_));
    }
    std::optional<QString> decoded(const char* s);
    bool checked(const char* s) { return std::strpbrk(s, "&<") == nullptr || decoded(s).has_value(); }
    bool checkTree(const pugi::xml_document& doc, pugi::xml_node rowdata);
    QString attr(pugi::xml_node n, const char* name, bool* present = nullptr);
    int fieldOf(const char* attrName, int hint) const;
    const char* fieldText(pugi::xml_node row, int field) const;
    bool store(RecordSink& sink, int field, const FieldDef& f, const char* raw, qint64& maxAuto);

    const char* base_;
    QString error_;
    QList<FieldName> names_;
};

// Attribute text as the file means it: the five predefined entities and character
// references, nothing else (no document type is ever expanded), and never a raw '<'.
std::optional<QString> Reader::decoded(const char* s) {
    if (std::strpbrk(s, "&<") == nullptr)
        return QString::fromUtf8(s);
    QString out;
    const char* seg = s;
    const char* p = s;
    for (; *p != 0; ++p) {
        if (*p == '<') {
            failAt(QStringLiteral("'<' dentro de um valor de atributo"), p);
            return std::nullopt;
        }
        if (*p != '&')
            continue;
        out += QString::fromUtf8(seg, p - seg);
        const char* semi = std::strchr(p, ';');
        if (!semi || semi - p > 12) {
            failAt(QStringLiteral("referência de entidade inválida"), p);
            return std::nullopt;
        }
        const QString ent = QString::fromUtf8(p + 1, semi - p - 1);
        if (ent == QLatin1String("lt")) out += QLatin1Char('<');
        else if (ent == QLatin1String("gt")) out += QLatin1Char('>');
        else if (ent == QLatin1String("amp")) out += QLatin1Char('&');
        else if (ent == QLatin1String("quot")) out += QLatin1Char('"');
        else if (ent == QLatin1String("apos")) out += QLatin1Char('\'');
        else if (ent.startsWith(QLatin1Char('#'))) {
            bool ok = false;
            const uint code = (ent.size() > 1 && (ent[1] == QLatin1Char('x') || ent[1] == QLatin1Char('X')))
                                  ? ent.mid(2).toUInt(&ok, 16)
                                  : ent.mid(1).toUInt(&ok, 10);
            if (!ok || code == 0 || code > 0x10FFFF) {
                failAt(QStringLiteral("referência de caractere inválida"), p);
                return std::nullopt;
            }
            const char32_t c32 = code;
            out += QString::fromUcs4(&c32, 1);
        } else {
            failAt(QStringLiteral("entidade desconhecida &%1;").arg(ent), p);
            return std::nullopt;
        }
        p = semi;
        seg = semi + 1;
    }
    out += QString::fromUtf8(seg, p - seg);
    return out;
}

// One element at the top, nothing but markup beside it, nesting within bounds, and every
// attribute readable. The rows of the table are checked as they are read.
bool Reader::checkTree(const pugi::xml_document& doc, pugi::xml_node rowdata) {
    int elements = 0;
    for (pugi::xml_node c = doc.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element) {
            if (++elements > 1)
                return failAt(QStringLiteral("conteúdo após o fim do documento"), c.name());
        } else if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) {
            return failAt(elements == 0 ? QStringLiteral("elemento esperado")
                                        : QStringLiteral("conteúdo após o fim do documento"),
                          c.value());
        }
    }
    if (elements == 0)
        return fail(QStringLiteral("não é um arquivo XML válido: nenhum elemento encontrado"));
    // Walked without recursion, so that no file can exhaust the stack.
    constexpr int kMaxDepth = 32;
    int depth = 0;
    pugi::xml_node n = doc.first_child();
    while (n) {
        if (n.type() == pugi::node_element) {
            if (depth > kMaxDepth)
                return failAt(QStringLiteral("elementos aninhados demais"), n.name());
            if (!(n.parent() == rowdata && sameName(n.name(), "ROW")))
                for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
                    if (!checked(a.value()))
                        return false;
            if (n.first_child()) {
                n = n.first_child();
                ++depth;
                continue;
            }
        }
        while (n && !n.next_sibling()) {
            n = n.parent();
            --depth;
        }
        if (n)
            n = n.next_sibling();
    }
    return true;
}

// Attributes outside the rows were checked with the tree: their text always decodes.
QString Reader::attr(pugi::xml_node n, const char* name, bool* present) {
    const char* v = attrNamed(n, name);
    if (present)
        *present = v != nullptr;
    return v ? decoded(v).value_or(QString()) : QString();
}

// The field an attribute of a row holds, or -1; rows name the fields in their order.
int Reader::fieldOf(const char* attrName, int hint) const {
    const int n = static_cast<int>(names_.size());
    auto same = [&](int i) { return sameBytes(attrName, names_[i].utf8.constData(), names_[i].utf8.size()); };
    if (hint < n && same(hint))
        return hint;
    for (int i = 0; i < n; ++i)
        if (same(i))
            return i;
    for (int i = 0; i < n; ++i)
        if (names_[i].matches(attrName))
            return i;
    return -1;
}

const char* Reader::fieldText(pugi::xml_node row, int field) const {
    for (pugi::xml_attribute a = row.first_attribute(); a; a = a.next_attribute())
        if (names_[field].matches(a.name()))
            return a.value();
    return nullptr;
}

// Stores a field's value; false when the text is no value of the field's type.
bool Reader::store(RecordSink& sink, int field, const FieldDef& f, const char* raw, qint64& maxAuto) {
    switch (f.type) {
    case FieldType::Integer:
    case FieldType::AutoInc:
    case FieldType::LargeInt: {
        qint64 v = 0;
        if (!plainInteger(raw, v))
            break;
        if (f.type == FieldType::LargeInt) {
            sink.setInt(field, v);
            return true;
        }
        if (v < INT32_MIN || v > INT32_MAX)
            return false;
        sink.setInt(field, v);
        if (f.type == FieldType::AutoInc)
            maxAuto = std::max(maxAuto, v);
        return true;
    }
    case FieldType::Float: {
        double v = 0;
        if (!plainFloat(raw, v))
            break;
        sink.setDouble(field, v);
        return true;
    }
    case FieldType::String:
        if (std::strpbrk(raw, "&<") != nullptr)
            break;
        sink.setValue(field, QVariant(QString::fromUtf8(raw)));
        return true;
    default: break;
    }
    const auto text = decoded(raw);
    if (!text)
        return false;
    const auto v = parseText(f, *text);
    if (!v)
        return false;
    if (f.type == FieldType::AutoInc && !v->isNull())
        maxAuto = std::max(maxAuto, v->toLongLong());
    sink.setValue(field, *v);
    return true;
}

bool Reader::read(const pugi::xml_document& doc, RecordSink& sink) {
    const pugi::xml_node root = doc.document_element();
    const pugi::xml_node meta = childNamed(root, "METADATA");
    const pugi::xml_node fields = childNamed(meta, "FIELDS");
    const pugi::xml_node rowdata = childNamed(root, "ROWDATA");
    if (!checkTree(doc, rowdata))
        return false;
    auto refuse = [&](const QString& why) { return fail(why); };
    if (!sameName(root.name(), "DATAPACKET"))
        return refuse(QStringLiteral("não é uma tabela de dados (elemento raiz <%1>)").arg(QString::fromUtf8(root.name())));
    if (!fields || !rowdata)
        return refuse(QStringLiteral("tabela incompleta: faltam METADATA/FIELDS ou ROWDATA"));

    Records p; // the fields and the auto-increment value; the rows go to the sink
    for (pugi::xml_node fe = fields.first_child(); fe; fe = fe.next_sibling()) {
        if (fe.type() != pugi::node_element || !sameName(fe.name(), "FIELD"))
            continue;
        bool hasName = false, hasType = false, hasWidth = false;
        const QString an = attr(fe, "attrname", &hasName), ft = attr(fe, "fieldtype", &hasType),
                      sub = attr(fe, "SUBTYPE"), ro = attr(fe, "readonly"), rq = attr(fe, "required"),
                      w = attr(fe, "WIDTH", &hasWidth);
        if (!hasName || an.isEmpty() || !hasType)
            return refuse(QStringLiteral("definição de campo sem nome ou sem tipo"));
        const bool autoinc = sub.compare(QLatin1String("Autoinc"), Qt::CaseInsensitive) == 0;
        const auto type = parseType(ft, autoinc);
        if (!type)
            return refuse(QStringLiteral("campo \"%1\" de tipo não suportado \"%2\"").arg(an, ft));
        FieldDef d;
        d.name = an;
        d.type = *type;
        const QString lt = ft.toLower();
        d.fileType = lt == QLatin1String("i4") || lt == QLatin1String("r8") || lt == QLatin1String("string") ? QString() : ft;
        d.readOnly = ro.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
        d.required = rq.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
        if (hasWidth)
            d.size = w.toInt();
        for (const FieldDef& other : p.fields)
            if (other.name.compare(d.name, Qt::CaseInsensitive) == 0)
                return refuse(QStringLiteral("campo \"%1\" definido duas vezes").arg(d.name));
        p.fields.append(d);
    }
    if (p.fields.isEmpty())
        return refuse(QStringLiteral("a tabela não define nenhum campo"));
    bool hasAutoInc = false;
    if (const pugi::xml_node params = childNamed(meta, "PARAMS"))
        if (const QString ai = attr(params, "AUTOINCVALUE", &hasAutoInc); hasAutoInc) {
            bool ok = false;
            const qint64 v = ai.toLongLong(&ok);
            if (!ok)
                return refuse(QStringLiteral("AUTOINCVALUE inválido \"%1\"").arg(ai));
            p.autoIncValue = v;
        }

    for (const FieldDef& f : p.fields)
        names_.append(FieldName{f.name, f.name.toUtf8()});
    const int nf = static_cast<int>(p.fields.size());
    std::vector<const char*> texts(static_cast<size_t>(nf));
    qsizetype count = 0;
    for (pugi::xml_node re = rowdata.first_child(); re; re = re.next_sibling())
        ++count;
    sink.begin(p.fields, count);

    // Every row, checked, with its state; the order they stand in comes after.
    struct FileRow {
        pugi::xml_node node;
        int state = 0;
    };
    std::vector<FileRow> rows;
    for (pugi::xml_node re = rowdata.first_child(); re; re = re.next_sibling()) {
        if (re.type() != pugi::node_element || !sameName(re.name(), "ROW"))
            continue;
        const char* stateText = nullptr;
        // Every attribute is checked, also those of rows that are not current.
        for (pugi::xml_attribute a = re.first_attribute(); a; a = a.next_attribute()) {
            if (!stateText && sameName(a.name(), "RowState"))
                stateText = a.value();
            if (!checked(a.value()))
                return false;
        }
        int state = 0;
        if (stateText) {
            const auto rs = decoded(stateText);
            if (!rs)
                return false;
            bool ok = false;
            state = rs->toInt(&ok);
            if (!ok)
                return refuse(QStringLiteral("RowState inválido \"%1\"").arg(*rs));
        }
        rows.push_back({re, state});
    }
    QString why;
    const auto chains = rowChains(rows.size(), [&](size_t i) { return rows[i].state; }, changeLog(meta), &why);
    if (!chains)
        return refuse(why);

    qint64 maxAuto = 0;
    for (const std::vector<size_t>& chain : *chains) {
        // The current row first, then the rows it replaces: a modified row may carry only its
        // changed fields, the rest come from the row before it.
        const pugi::xml_node current = rows[chain.front()].node;
        int hint = 0;
        std::fill(texts.begin(), texts.end(), nullptr);
        for (pugi::xml_attribute a = current.first_attribute(); a; a = a.next_attribute()) {
            const int f = fieldOf(a.name(), hint);
            if (f >= 0 && !texts[static_cast<size_t>(f)]) {
                texts[static_cast<size_t>(f)] = a.value();
                hint = f + 1;
            }
        }
        sink.newRow();
        for (int i = 0; i < nf; ++i) {
            const char* v = texts[static_cast<size_t>(i)];
            for (size_t k = 1; !v && k < chain.size(); ++k)
                v = fieldText(rows[chain[k]].node, i);
            if (!v || store(sink, i, p.fields[i], v, maxAuto))
                continue;
            if (!error_.isEmpty())
                return false;
            const QString shown = decoded(v).value_or(QString::fromUtf8(v));
            return refuse(QStringLiteral("valor inválido \"%1\" no campo \"%2\"").arg(shown.left(40), p.fields[i].name));
        }
    }
    // Never hand out an auto-increment value that a stored row already has.
    sink.end(std::max(p.autoIncValue, maxAuto + 1));
    return true;
}

// The text to parse, in UTF-8: a byte-order mark or the declaration says UTF-8 or
// Windows-1252; without a declaration, bytes that are valid UTF-8 are taken as such.
std::optional<QByteArray> utf8Text(const QByteArray& bytes, QString* error) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return bytes.mid(3);
    bool utf8 = false;
    const auto start = bytes.indexOf("<?xml");
    const auto end = start >= 0 ? bytes.indexOf("?>", start) : -1;
    if (start >= 0 && end > start) {
        const QByteArray decl = bytes.mid(start, end - start).toLower();
        const auto e = decl.indexOf("encoding");
        if (e >= 0) {
            utf8 = decl.indexOf("utf-8", e) >= 0 || decl.indexOf("utf8", e) >= 0;
            if (!utf8 && decl.indexOf("1252", e) < 0 && decl.indexOf("8859-1", e) < 0 &&
                decl.indexOf("latin", e) < 0) {
                *error = QStringLiteral("codificação de caracteres não suportada");
                return std::nullopt;
            }
        }
    } else {
        utf8 = QString::fromUtf8(bytes).toUtf8() == bytes;
    }
    return utf8 ? bytes : cp1252ToUtf8(bytes);
}

bool readText(const QByteArray& bytes, RecordSink& sink, QString* error) {
    QString why;
    auto fail = [&](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    if (std::all_of(bytes.begin(), bytes.end(), blank))
        return fail(QStringLiteral("o arquivo está vazio"));
    const auto converted = utf8Text(bytes, &why);
    if (!converted)
        return fail(why);
    // The parser reads the text in place, and wants a byte after it: one copy, sized for both.
    std::optional<QByteArray> text(QByteArray(converted->size() + 1, Qt::Uninitialized));
    std::memcpy(text->data(), converted->constData(), static_cast<size_t>(converted->size()));
    text->resize(converted->size());
    // The parser stops at a zero byte; a file with one is no text file at all.
    if (const auto zero = text->indexOf('\0'); zero >= 0)
        return fail(QStringLiteral("não é um arquivo XML válido: caractere nulo (posição %1)").arg(zero));
    // Elements and attributes only, read in place; entities are left to the reader above.
    // The parser takes the buffer's last byte for its own end mark: a zero after the text
    // keeps the text whole, up to a last character after the root.
    const qsizetype size = text->size();
    text->append('\0'); // within the room set aside: no copy
    char* data = text->data();
    pugi::xml_document doc;
    const pugi::xml_parse_result r = doc.load_buffer_inplace(
        data, static_cast<size_t>(size) + 1, pugi::parse_minimal | pugi::parse_fragment, pugi::encoding_utf8);
    if (!r)
        return fail(QStringLiteral("não é um arquivo XML válido: %1 (posição %2)")
                        .arg(QString::fromUtf8(statusText(r.status)))
                        .arg(r.offset));
    Reader reader(data);
    if (!reader.read(doc, sink))
        return fail(reader.error());
    return true;
}

// The rows as they are read, as values.
class RecordsSink : public RecordSink {
public:
    Records r;
    void begin(const QList<FieldDef>& fields, qsizetype rowsAtMost) override {
        r = Records(fields);
        r.cells.reserve(static_cast<size_t>(rowsAtMost) * static_cast<size_t>(r.width()));
    }
    void newRow() override { row_ = r.appendRow(); }
    void setInt(int field, qint64 v) override {
        const FieldType t = r.fields[field].type;
        r.value(row_, field) = t == FieldType::LargeInt ? QVariant(v) : QVariant(static_cast<int>(v));
    }
    void setDouble(int field, double v) override { r.value(row_, field) = QVariant(v); }
    void setValue(int field, QVariant v) override { r.value(row_, field) = std::move(v); }
    void end(qint64 autoIncValue) override { r.autoIncValue = autoIncValue; }

private:
    qsizetype row_ = -1;
};

} // namespace

QByteArray writeDatapacket(const Records& table) { return writeDatapacket(table, table.autoIncValue); }

QByteArray writeDatapacket(const RowSource& table, qint64 autoIncValue) {
    const qsizetype rows = table.rows();
    const QList<FieldDef>& fields = table.fieldList();
    const int nf = static_cast<int>(fields.size());
    QByteArray out;
    out.reserve(512 + rows * (8 + nf * 28));
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  "
           "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>";
    bool hasAutoInc = false;
    std::vector<QByteArray> names;
    for (const FieldDef& f : fields) {
        out += "<FIELD attrname=\"";
        appendEscaped(out, f.name);
        out += "\" fieldtype=\"";
        out += typeName(f).toUtf8();
        out += '"';
        if (f.readOnly || f.type == FieldType::AutoInc)
            out += " readonly=\"true\"";
        if (f.required)
            out += " required=\"true\"";
        if (f.type == FieldType::AutoInc) {
            out += " SUBTYPE=\"Autoinc\"";
            hasAutoInc = true;
        }
        if (f.type == FieldType::String)
            out += " WIDTH=\"" + QByteArray::number(f.size) + '"';
        out += "/>";
        names.push_back(' ' + f.name.toUtf8() + "=\"");
    }
    out += "</FIELDS>";
    if (hasAutoInc)
        out += "<PARAMS AUTOINCVALUE=\"" + QByteArray::number(autoIncValue) + "\"/>";
    else
        out += "<PARAMS/>";
    out += "</METADATA><ROWDATA>";
    for (qsizetype r = 0; r < rows; ++r) {
        out += "<ROW";
        for (int i = 0; i < nf; ++i) {
            const QVariant v = table.valueAt(r, i);
            if (v.isNull())
                continue;
            out += names[static_cast<size_t>(i)];
            appendValue(out, fields[i], v);
            out += '"';
        }
        out += "/>";
    }
    out += "</ROWDATA></DATAPACKET>";
    return out;
}

bool readDatapacket(const QByteArray& bytes, RecordSink& sink, QString* error) {
    // Every element begins with a raw "<" (in values it is escaped): counted before anything
    // is parsed, so the parser's nodes stay bounded too.
    constexpr qsizetype kMetadataElements = 4096;
    if (std::count(bytes.begin(), bytes.end(), '<') > kMaxDatapacketRows + kMetadataElements) {
        if (error)
            *error = QStringLiteral("o arquivo tem linhas demais para um arquivo de dados (mais de %1)")
                         .arg(kMaxDatapacketRows);
        return false;
    }
    return readText(bytes, sink, error);
}

std::optional<Records> readDatapacket(const QByteArray& bytes, QString* error) {
    RecordsSink sink;
    if (!readDatapacket(bytes, sink, error))
        return std::nullopt;
    return std::move(sink.r);
}

std::optional<Records> salvageDatapacket(const QByteArray& bytes) {
    // The markup is ASCII in both encodings a data file may have.
    const qsizetype rows = bytes.indexOf("<ROWDATA>");
    if (rows < 0 || bytes.indexOf("</ROWDATA>", rows) >= 0 || readDatapacket(bytes, nullptr))
        return std::nullopt;
    // Back from the end to the last row element that closes whole: "<ROW" ... "/>", with no
    // markup between. Each shorter text is tried, so damage inside a row is left behind too.
    qsizetype end = bytes.size();
    for (int tries = 0; tries < 8; ++tries) {
        const qsizetype close = bytes.lastIndexOf("/>", end - 1);
        if (close <= rows)
            return std::nullopt;
        const qsizetype open = bytes.lastIndexOf("<ROW ", close);
        const QByteArrayView element(bytes.constData() + open, close - open);
        if (open > rows && !element.sliced(1).contains('<') && !element.contains('>')) {
            const QByteArray cut = bytes.left(close + 2) + "</ROWDATA></DATAPACKET>";
            if (auto r = readDatapacket(cut, nullptr); r && r->rowCount() > 0)
                return r;
        }
        end = close;
    }
    return std::nullopt;
}

bool saveDatapacket(const Records& table, const QString& path, QString* error) {
    return writeWholeFile(path, writeDatapacket(table), error);
}

bool saveDatapacket(const RowSource& rows, qint64 autoIncValue, const QString& path, QString* error) {
    return writeWholeFile(path, writeDatapacket(rows, autoIncValue), error);
}

bool loadDatapacket(const QString& path, RecordSink& sink, QString* error) {
    const QString shown = QDir::toNativeSeparators(path);
    ReadFailure failure{};
    QString why;
    // A full logger memory saves to well under 2 MiB; anything larger is no data file and
    // would only tie the program up.
    const auto bytes = readWholeFile(path, kMaxDatapacketBytes, &failure, &why);
    if (!bytes) {
        if (error) {
            if (failure == ReadFailure::Open)
                *error = QStringLiteral("Não foi possível abrir o arquivo \"%1\": %2").arg(shown, why);
            else
                *error = QStringLiteral("O arquivo \"%1\" não pode ser lido como tabela de dados: %2")
                             .arg(shown, failure == ReadFailure::TooLarge
                                             ? QStringLiteral("o arquivo é grande demais para um arquivo de dados")
                                             : why);
        }
        return false;
    }
    const bool ok = readDatapacket(*bytes, sink, &why);
    if (!ok && error)
        *error = QStringLiteral("O arquivo \"%1\" não pode ser lido como tabela de dados: %2").arg(shown, why);
    return ok;
}

std::optional<Records> loadDatapacket(const QString& path, QString* error) {
    RecordsSink sink;
    if (!loadDatapacket(path, sink, error))
        return std::nullopt;
    return std::move(sink.r);
}

bool hasFields(const Records& p, const QStringList& names, QString* error) {
    for (const QString& n : names) {
        bool found = false;
        for (const FieldDef& f : p.fields)
            found = found || f.name.compare(n, Qt::CaseInsensitive) == 0;
        if (!found) {
            if (error)
                *error = QStringLiteral("falta o campo \"%1\"").arg(n);
            return false;
        }
    }
    return true;
}

} // namespace acq

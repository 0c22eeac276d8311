#include "ws/elementos_esquema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <libxml/parser.h>
#include <libxml/tree.h>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

const xmlChar* const kXsd = reinterpret_cast<const xmlChar*>("http://www.w3.org/2001/XMLSchema");

QString atributo(xmlNodePtr no, const char* nome) {
    xmlChar* v = xmlGetProp(no, reinterpret_cast<const xmlChar*>(nome));
    const QString r = v ? QString::fromUtf8(reinterpret_cast<const char*>(v)) : QString();
    xmlFree(v);
    return r;
}

bool doEsquema(xmlNodePtr no, const char* nome) {
    return no->type == XML_ELEMENT_NODE && no->ns && xmlStrEqual(no->ns->href, kXsd) &&
           xmlStrEqual(no->name, reinterpret_cast<const xmlChar*>(nome));
}

void percorre(xmlNodePtr no, const QDir& pasta, QSet<QString>& nomes, QStringList& pendentes) {
    for (; no; no = no->next) {
        if (no->type != XML_ELEMENT_NODE) continue;
        if (doEsquema(no, "element")) {
            if (const QString nome = atributo(no, "name"); !nome.isEmpty()) nomes.insert(nome);
        } else if (doEsquema(no, "include") || doEsquema(no, "import") || doEsquema(no, "redefine")) {
            const QString local = atributo(no, "schemaLocation");
            // Only the package's own files: an address on the web is not fetched.
            if (!local.isEmpty() && !local.contains(u"://"_s)) pendentes << pasta.absoluteFilePath(local);
        }
        percorre(no->children, pasta, nomes, pendentes);
    }
}

QSet<QString> le(const QString& arquivoXsd) {
    QSet<QString> nomes;
    QSet<QString> vistos;
    QStringList pendentes{QFileInfo(arquivoXsd).absoluteFilePath()};
    while (!pendentes.isEmpty()) {
        const QString arquivo = QDir::cleanPath(pendentes.takeLast());
        if (vistos.contains(arquivo)) continue;
        vistos.insert(arquivo);
        xmlDocPtr doc = xmlReadFile(QFile::encodeName(arquivo).constData(), nullptr,
                                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        if (!doc) continue;
        percorre(xmlDocGetRootElement(doc), QFileInfo(arquivo).absoluteDir(), nomes, pendentes);
        xmlFreeDoc(doc);
    }
    return nomes;
}

} // namespace

const QSet<QString>& elementosDeclarados(const QString& arquivoXsd) {
    static QHash<QString, QSet<QString>> lidos;
    auto it = lidos.find(arquivoXsd);
    if (it == lidos.end()) it = lidos.insert(arquivoXsd, le(arquivoXsd));
    return *it;
}

} // namespace qel

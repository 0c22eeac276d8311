#pragma once

// Validation of a document against an official XSD with libxml2: empty when valid, otherwise
// the validator's messages.

#include <QByteArray>
#include <QString>
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

namespace teste {

inline void juntaErro(void* destino, const xmlError* erro) {
    if (erro && erro->message) *static_cast<QString*>(destino) += QString::fromUtf8(erro->message);
}

inline QString validaEsquema(const QByteArray& xml, const QString& xsd) {
    QString erros;
    xmlSchemaParserCtxtPtr leitor = xmlSchemaNewParserCtxt(xsd.toUtf8().constData());
    xmlSchemaPtr esquema = xmlSchemaParse(leitor);
    xmlSchemaFreeParserCtxt(leitor);
    if (!esquema) return QStringLiteral("schema not readable: ") + xsd;
    xmlDocPtr doc =
        xmlReadMemory(xml.constData(), static_cast<int>(xml.size()), "doc.xml", "UTF-8", XML_PARSE_NONET);
    if (!doc) {
        xmlSchemaFree(esquema);
        return QStringLiteral("not well-formed");
    }
    xmlSchemaValidCtxtPtr validador = xmlSchemaNewValidCtxt(esquema);
    xmlSchemaSetValidStructuredErrors(
        validador, [](void* d, xmlErrorPtr e) { juntaErro(d, e); }, &erros);
    const int r = xmlSchemaValidateDoc(validador, doc);
    xmlSchemaFreeValidCtxt(validador);
    xmlFreeDoc(doc);
    xmlSchemaFree(esquema);
    if (r != 0 && erros.isEmpty()) erros = QStringLiteral("invalid");
    return erros;
}

} // namespace teste

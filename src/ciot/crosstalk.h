#pragma once

// The CrossTalk message of the NDD Cargo exchange service: a header that names the process and
// identifies the company, then the business request as raw data. Every transport operation
// (CIOT, toll voucher, route query, payment, cancellation) travels as the argument of one SOAP
// operation, Send.

#include <QString>

namespace qel {

// The namespace of the NDD Cargo business schema, and the layout version the requests declare.
inline const QString kNsNdd = QStringLiteral("http://www.nddigital.com.br/nddcargo");
inline const QString kVersaoNdd = QStringLiteral("4.2.11.0");
inline const QString kNsXsd = QStringLiteral("http://www.w3.org/2001/XMLSchema");
inline const QString kNsXsi = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");

// The processes of the service (ProcessCode of the header).
namespace processo_ndd {
inline const QString kGuid = QStringLiteral("1004");         // a new GUID
inline const QString kOperacao = QStringLiteral("1000");     // CIOT operation; also the result query
inline const QString kValePedagio = QStringLiteral("2019");  // toll-voucher operation
inline const QString kRota = QStringLiteral("2027");         // route query
inline const QString kPagamento = QStringLiteral("2005");    // instalment payment
inline const QString kCancelamento = QStringLiteral("1002"); // cancellation of an operation
} // namespace processo_ndd

struct CabecalhoCrossTalk {
    QString processo;     // ProcessCode
    QString tipoMensagem; // MessageType
    QString padrao;       // ExchangePattern
    QString sourceId;     // written only when not blank
    QString guid;         // written when not blank, or always with guidSempre
    bool guidSempre = false;
    QString dataHora; // 2024-05-31T14:03:07-03:00
    QString empresa;  // EnterpriseId: the CNPJ without punctuation
    QString token;
};

// "<message><![CDATA[" + the CrossTalk_Message (declared as UTF-16, as the service expects it) +
// "]]></message>", on one line, values escaped.
QString mensagemCrossTalk(const CabecalhoCrossTalk& cabecalho);

// "<rawData/>" for a message without business content, else the text in a CDATA section. A "]]>"
// inside the text (its own CDATA sections) is split over two sections, so the service reads back
// exactly the text.
QString dadosBrutos(const QString& texto);

// A value as it may stand inside an attribute or an element.
QString escapaNdd(const QString& valor);

} // namespace qel

#pragma once

// The bodies of the NDD Cargo exchange: the CrossTalk message of each service, and the business
// requests the program writes itself (route query, instalment payment, cancellation) or receives
// ready-made from the calling application (CIOT operation, toll-voucher operation), signed.

#include "ws/servicos.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace qel {

// The company a route query identifies, whatever company the task names: the route service is
// contracted by the maker of this program.
inline const QString kCnpjRoteirizador = QStringLiteral("11.222.333/0001-81");

struct PedidoNdd {
    Servico servico = Servico::Consultar; // NDDGeraGUID, Consultar, Recepcao, Rota, Pagar, Cancelar
    QString guid;                         // GUID of the exchange: the requests' Id and signature reference
    QString cnpj;
    QString token;
    QString dataHora;          // the header's DateTime, with the UTC offset
    QString ciot;              // payment, cancellation: the CIOT number
    QString codigoVerificador; // and its verification code
    QString justificativa;     // payment: the instalment's name; cancellation: the reason
    QString categoriaPedagio;  // route query
    QString tipoRota;          // route query
    QStringList cidadesRota;   // route query: IBGE codes of the stops, in order
    QString documento;         // Recepcao: the calling application's document, one line
    // Signs a request; an empty result means it failed (and the user was told).
    std::function<QString(const QString&)> assina;
};

struct CorpoNdd {
    QString corpo;                    // the CrossTalk text that goes inside Send
    std::optional<QString> documento; // the signed business request as it goes out (one line)
    QString processo;                 // ProcessCode of the header
    bool assinaturaFalhou = false;
};

CorpoNdd constroiCorpoNdd(const PedidoNdd& pedido);

// A toll-voucher operation (and not a CIOT operation) by its document.
bool ehValePedagio(const QString& documento);

// The text without its XML declaration, whatever its form (with or without encoding and
// standalone, single or double quotes), and without a leading byte-order mark.
QString semDeclaracaoXml(const QString& texto);

// The document with its root element declaring the XML Schema, XML Schema instance and NDD Cargo
// namespaces (those it does not declare yet). The lot and the stored proc declare them around the
// operation; declared on its own root before it is signed, they are in scope of the signed parts
// in every place the operation travels or is kept, so its signature verifies in each.
QString comNamespacesNdd(const QString& documento);

} // namespace qel

#pragma once

// The answers of the NDD Cargo exchange: the CrossTalk answer inside Send's result, what it says
// (a result present, a failure), the access key the program gives a registered operation, and the
// stored procs (ciotProc for a CIOT operation, tagProc for a toll voucher).

#include <QByteArray>
#include <QDate>
#include <QString>

namespace qel {

// The CrossTalk answer as the service wrote it: the text of SendResult, its escapes undone once
// (read with libxml2). An answer without SendResult (a fault, a page) is returned as it came.
QString crossTalkDaResposta(const QString& corpo);

// The result of a request is in the answer (its business code).
bool temResultado(const QString& resposta);
// The route of a route query is in the answer.
bool temRota(const QString& resposta);
// The service refused the message itself (ResponseCode 400 or 500): nothing was taken.
bool mensagemRecusada(const QString& resposta);
// The question of a GUID refused as the asker's fault (ResponseCode 4xx): the service does not
// know the GUID. A 5xx is a failure of the service and says nothing of the GUID.
bool guidRecusado(const QString& resposta);
// A CIOT or toll-voucher operation was not registered: a code beginning with 2 to 6, or the
// message refused.
bool falhaRecepcao(const QString& resposta);
// A payment, cancellation or route query failed: a code beginning with 2 to 6 (205 is no failure
// of these), or the message refused.
bool falhaOperacao(const QString& resposta);

// The GUID the service handed out (the last one of the answer); empty when none, or when it is not
// of the GUID form (8-4-4-4-12 hexadecimal digits).
QString guidDaResposta(const QString& resposta);
// The text of the first element of the name, inside the first element `dentroDe` when given;
// empty when absent.
QString valorNdd(const QString& texto, const QString& nome, const QString& dentroDe = {});

// What the key of a registered operation is made of.
struct ChaveOperacaoNdd {
    QString cUF;      // the run's state code
    QString cnpj;     // the company
    QString nomeBase; // the calling application's document without extension: its file number
    QDate hoje;       // in the state's time
    bool valePedagio = false;
};

// The 44-character key: state, year and month of emission, CNPJ, "DT", series, operation number,
// file number and "X" for a CIOT operation; "43", this month, CNPJ, "TG", "000" and the file
// number twice for a toll voucher. Numbers longer than their field keep their last digits, so
// the key always has 44 characters.
QString chaveOperacaoNdd(const ChaveOperacaoNdd& dados, const QString& resposta);

// ciotProc: the lot as sent, then the registration (the answer's ide and autorizacao contents).
QString montaCiotProc(const QString& pedido, const QString& resposta);
// tagProc: the toll-voucher request as sent, the answer's header as its authorisation, and the
// answer's retOperacaoValePedagio.
QString montaTagProc(const QString& pedido, const QString& resposta);

} // namespace qel

#pragma once

// The e-mail of a stored document: the request file the calling application puts beside the
// document (its base name + ".EML") and the message built from it. No network here; the
// message goes out through enviaSmtp (ws/smtp.h).
//
//     ctx.LbQel = lerLinhas(ctx.NomeBase + u".EML"_s);
//     const PedidoEmail pedido = interpretaPedidoEmail(ctx.LbQel);
//     const EnvioEmail envio = preparaEmail(pedido, {ctx.CHAVE, ctx.Tarefa, ctx.Tipo, resumo, xml, pdf},
//                                           recursos.rede, agora());
//     const QString erro = envio.erro.isEmpty() ? enviaSmtp(envio.servidor, envio.mensagem) : envio.erro;

#include "print/contexto_impressao.h"
#include "util/codigos.h"
#include "ws/rede.h"
#include "ws/smtp.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace qel {

// The program's own values in the message.
namespace email {
// A sender with this address gets the do-not-reply lines in the body.
inline constexpr char16_t kRemetenteNaoResponda[] = u"nao-responda@qel-dfe.example";
inline constexpr char16_t kLinhaFabricante[] =
    u"Qel DFe - transmissor de documentos fiscais eletrônicos (https://qel-dfe.example)";
inline constexpr char16_t kPortalNfe[] = u"https://www.nfe.fazenda.gov.br/portal";
inline constexpr char16_t kPortalCte[] = u"https://www.cte.fazenda.gov.br/portal";
} // namespace email

// The settings of the request file, as written.
struct PedidoEmail {
    QString remetente;
    QString smtp;
    QString usuario;
    QString senha;
    QString porta;        // as written; blank means 587
    QString destinatario; // the addresses joined by ";"
    bool ssl = false;

    // The "Destinatario" value cut at every ";", pieces untrimmed; a trailing ";" gives an empty
    // last piece, an empty value no piece.
    QStringList destinatarios() const;
};

// The settings from the lines of the request file: a line starting with a key (letter case
// counts) sets it to the rest of the line, at most 1000 characters, trimmed; a later line wins.
// Any line starting with "SSL" switches TLS on.
PedidoEmail interpretaPedidoEmail(const QStringList& linhas);

// The document being mailed.
struct DocumentoEmail {
    QString chave;  // the access key (CHAVE)
    QString tarefa; // the task name as written
    TipoDocumento tipo = TipoDocumento::Nenhum;
    ResumoDocumento resumo; // left by the printout
    QString xml;            // the stored document (native path)
    // The PDFs: blank, none; with a ".", that one file; otherwise a prefix whose pages are
    // prefix-1.pdf, prefix-2.pdf, ... (a Windows-style path such as "C:\Qel\Danfe1234" is mapped,
    // names found without regard to letter case).
    QString pdf;
};

// The body lines of the message.
QStringList corpoEmail(const QString& remetente, const DocumentoEmail& documento);

// The files to attach: the XML, then the PDFs.
QStringList anexosEmail(const QString& xml, const QString& pdf);

struct EnvioEmail {
    ServidorSmtp servidor;
    MensagemSmtp mensagem;
    QString erro; // when not empty, the request cannot be sent (a port that is not a number)
};

// The connection and the message for the request. Empty recipient pieces are left out and the
// others trimmed: SMTP has no empty address. The network settings give the extra authorities
// and the time-out; `agora` dates the message.
EnvioEmail preparaEmail(const PedidoEmail& pedido, const DocumentoEmail& documento,
                        const ConfiguracaoRede& rede, const QDateTime& agora);

} // namespace qel

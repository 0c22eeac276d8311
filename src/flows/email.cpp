#include "flows/email.h"

#include "util/arquivos.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

constexpr qsizetype kTamanhoValor = 1000;
constexpr int kPaginasPdf = 99;

QString documentoParte(const QString& numero, const QString& cidade) {
    return Tipo_Documento(u"Documento"_s, numero) + u": "_s + numero + u"   Cidade: "_s + cidade;
}

// The document number: characters 26 to 34 of the access key.
QString numeroDaChave(const QString& chave) {
    return chave.mid(25, 9);
}

} // namespace

QStringList PedidoEmail::destinatarios() const {
    if (destinatario.isEmpty()) return {};
    return destinatario.split(u';');
}

PedidoEmail interpretaPedidoEmail(const QStringList& linhas) {
    PedidoEmail pedido;
    const struct {
        QString chave;
        QString PedidoEmail::*campo;
    } chaves[] = {
        {u"Remetente"_s, &PedidoEmail::remetente}, {u"SMTP"_s, &PedidoEmail::smtp},
        {u"Usuario"_s, &PedidoEmail::usuario},     {u"Senha"_s, &PedidoEmail::senha},
        {u"Porta"_s, &PedidoEmail::porta},         {u"Destinatario"_s, &PedidoEmail::destinatario},
    };
    for (const QString& linha : linhas) {
        if (linha.startsWith(u"SSL"_s)) pedido.ssl = true;
        for (const auto& [chave, campo] : chaves) {
            if (linha.startsWith(chave)) {
                pedido.*campo = linha.mid(chave.size(), kTamanhoValor).trimmed();
                break;
            }
        }
    }
    return pedido;
}

QStringList corpoEmail(const QString& remetente, const DocumentoEmail& d) {
    const ResumoDocumento& r = d.resumo;
    const QString tarefa = Maiusculo(d.tarefa);
    const bool comPartes = tarefa == u"RECEPCAO"_s || tarefa == u"SIMPLIFICADO"_s;
    QStringList linhas{u"Este email contém o XML do seguinte Documento Fiscal Eletrônico:"_s, QString(),
                       u"Número: "_s + numeroDaChave(d.chave), u"Chave: "_s + d.chave};
    if (comPartes) linhas << u"Emissão: "_s + r.emissao;
    linhas << QString();
    if (comPartes) {
        linhas << u"Emitente: "_s + r.emitenteNome << u"CNPJ: "_s + Formata_CNPJ(d.chave.mid(6, 14))
               << r.emitenteCidade + u" - "_s + r.emitenteFone << QString();
        if (d.tipo == TipoDocumento::CTe) {
            linhas << u"Tomador: "_s + r.tomadorNome << documentoParte(r.tomadorDocumento, r.tomadorCidade)
                   << QString() << u"Remetente: "_s + r.remetenteNome
                   << documentoParte(r.remetenteDocumento, r.remetenteCidade) << QString();
        }
        linhas << u"Destinatário: "_s + r.destinatarioNome
               << documentoParte(r.destinatarioDocumento, r.destinatarioCidade) << QString();
        linhas << u"A validade e autenticidade deste documento eletrônico pode ser verificada no Portal "
                  "Nacional, através da chave de acesso."_s;
        if (d.tipo == TipoDocumento::NFe || d.tipo == TipoDocumento::NFCe)
            linhas << QString::fromUtf16(email::kPortalNfe);
        else if (d.tipo == TipoDocumento::CTe)
            linhas << QString::fromUtf16(email::kPortalCte);
    }
    // Addresses are compared as mail compares them: the envelope part, without regard to case.
    if (enderecoEnvelope(remetente).compare(QString::fromUtf16(email::kRemetenteNaoResponda),
                                            Qt::CaseInsensitive) == 0) {
        linhas << QString() << u"Não responda a esta mensagem."_s
               << u"Ela foi enviada de um endereço de email não monitorado."_s
               << u"Os emails enviados a este endereço não serão respondidos."_s << QString();
    }
    linhas << u"EMail gerado automaticamente por:"_s << QString::fromUtf16(email::kLinhaFabricante);
    return linhas;
}

QStringList anexosEmail(const QString& xml, const QString& pdf) {
    // A missing file keeps its path: the transport refuses it before connecting, by name.
    QStringList anexos{localizaCaminho(caminhoNativo(xml))};
    const QString p = pdf.trimmed();
    if (p.isEmpty()) return anexos;
    // Only the file name decides: a folder with a dot in its name still holds a prefix.
    const QString nome = p.mid(std::max(p.lastIndexOf(u'\\'), p.lastIndexOf(u'/')) + 1);
    if (nome.contains(u'.')) {
        anexos << localizaCaminho(caminhoNativo(p));
        return anexos;
    }
    const QString prefixo = caminhoNativo(p);
    for (int n = 1; n <= kPaginasPdf; ++n) {
        // The printouts write ".PDF"; the page is found whatever the letter case.
        const QString pagina = prefixo + u'-' + QString::number(n) + u".pdf"_s;
        if (!existeArquivo(pagina)) break;
        anexos << localizaCaminho(pagina);
    }
    return anexos;
}

EnvioEmail preparaEmail(const PedidoEmail& pedido, const DocumentoEmail& documento,
                        const ConfiguracaoRede& rede, const QDateTime& agora) {
    EnvioEmail envio;
    const QString porta = pedido.porta.trimmed().isEmpty() ? u"587"_s : pedido.porta.trimmed();
    bool numero = false;
    envio.servidor.porta = porta.toInt(&numero);
    if (!numero || envio.servidor.porta < 1 || envio.servidor.porta > 65535)
        envio.erro = u"porta SMTP inválida no pedido de email: "_s + pedido.porta;
    envio.servidor.host = pedido.smtp;
    envio.servidor.usuario = pedido.usuario;
    envio.servidor.senha = pedido.senha;
    envio.servidor.tls = pedido.ssl;
    envio.servidor.autoridadesExtras = rede.autoridadesExtras;
    envio.servidor.tempoLimiteMs = rede.tempoLimiteMs;

    MensagemSmtp& m = envio.mensagem;
    m.remetente = pedido.remetente;
    for (const QString& d : pedido.destinatarios())
        if (!d.trimmed().isEmpty()) m.destinatarios << d.trimmed();
    m.assunto = u"XML do Documento Fiscal Eletrônico "_s + numeroDaChave(documento.chave);
    m.linhas = corpoEmail(pedido.remetente, documento);
    m.anexos = anexosEmail(documento.xml, documento.pdf);
    m.data = agora;
    return envio;
}

} // namespace qel

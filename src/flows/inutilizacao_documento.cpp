#include "flows/inutilizacao_documento.h"

#include "flows/proc.h"
#include "flows/texto_livre.h"
#include "util/texto.h"
#include "ws/construtores.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// A whole number from 0 to maximo written with digits only; -1 otherwise.
qint64 inteiro(const QString& texto, qint64 maximo) {
    const QString t = texto.trimmed();
    if (t.isEmpty() || t.size() > 10 || !std::all_of(t.begin(), t.end(), [](QChar c) { return c.isDigit(); }))
        return -1;
    const qint64 n = t.toLongLong();
    return n <= maximo ? n : -1;
}

} // namespace

DocumentoInutilizacao montaInutilizacao(const PedidoInutilizacao& p) {
    const bool cte = p.tipo == TipoDocumento::CTe;
    if (!cte && p.tipo != TipoDocumento::NFe && p.tipo != TipoDocumento::NFCe)
        return {{},
                {},
                u"A inutilização de numeração existe só para NF-e, NFC-e e CT-e (modelos 55, 65, 57 e 67); "
                "modelo informado: \""_s +
                    p.modelo.trimmed() + u'"'};
    const QString modelo = p.modelo.trimmed();
    const bool modeloValido =
        cte ? (modelo == u"57"_s || modelo == u"67"_s) : (modelo == u"55"_s || modelo == u"65"_s);
    if (!modeloValido) return {{}, {}, u"Modelo inválido para a inutilização: \""_s + modelo + u'"'};
    QString ano = p.ano.trimmed();
    if (ano.size() == 4) ano = ano.right(2);
    if (inteiro(ano, 99) < 0)
        return {{}, {}, u"Ano inválido para a inutilização: \""_s + p.ano.trimmed() + u'"'};
    ano = ano.rightJustified(2, u'0');
    const qint64 serie = inteiro(p.serie, 999);
    if (serie < 0) return {{}, {}, u"Série inválida para a inutilização: \""_s + p.serie.trimmed() + u'"'};
    const qint64 inicial = inteiro(p.numeroInicial, 999999999);
    const qint64 final = inteiro(p.numeroFinal, 999999999);
    if (inicial < 1 || final < 1 || final < inicial)
        return {{},
                {},
                u"Faixa de numeração inválida para a inutilização: "_s + p.numeroInicial.trimmed() +
                    u" a "_s + p.numeroFinal.trimmed()};
    const QString cnpj = CnpjSemPontuacao(p.cnpj);
    if (cnpj.size() != 14) return {{}, {}, u"CNPJ inválido para a inutilização: \""_s + p.cnpj + u'"'};
    const QString cUF = p.cUF.trimmed();
    if (inteiro(cUF, 99) < 11 || cUF.size() != 2)
        return {{}, {}, u"UF da inutilização não informada ou inválida: \""_s + cUF + u'"'};
    const QString justificativa = textoLivre(p.justificativa);
    if (const QString recusa = recusaTexto(u"A justificativa da inutilização"_s, justificativa, 15, 255);
        !recusa.isEmpty())
        return {{}, {}, recusa};

    // The year is in the NF-e's Id only; the CT-e's leaves it out.
    const QString id =
        cUF + (cte ? QString() : ano) + cnpj + modelo + QString::number(serie).rightJustified(3, u'0') +
        QString::number(inicial).rightJustified(9, u'0') + QString::number(final).rightJustified(9, u'0');
    const QString numero = cte ? u"CT"_s : u"NF"_s;
    const QString raiz = cte ? u"inutCTe"_s : u"inutNFe"_s;
    DocumentoInutilizacao d;
    d.id = id;
    d.xml = u'<' + raiz + u" xmlns=\""_s + namespaceDoTipo(p.tipo) +
            u"\" versao=\"4.00\"><infInut Id=\"ID"_s + id + u"\">"_s +
            elementoXml(u"tpAmb"_s, codigo(p.ambiente)) + elementoXml(u"xServ"_s, u"INUTILIZAR"_s) +
            elementoXml(u"cUF"_s, cUF) + elementoXml(u"ano"_s, ano) + elementoXml(u"CNPJ"_s, cnpj) +
            elementoXml(u"mod"_s, modelo) + elementoXml(u"serie"_s, QString::number(serie)) +
            elementoXml(u'n' + numero + u"Ini"_s, QString::number(inicial)) +
            elementoXml(u'n' + numero + u"Fin"_s, QString::number(final)) +
            elementoXml(u"xJust"_s, justificativa) + u"</infInut></"_s + raiz + u'>';
    return d;
}

std::optional<QString> montaProcInutilizacao(TipoDocumento tipo, const QString& pedidoAssinado,
                                             const QString& resposta) {
    const bool cte = tipo == TipoDocumento::CTe;
    const QString nomeResposta = cte ? u"retInutCTe"_s : u"retInutNFe"_s;
    const QString registro = elementoCompleto(resposta, nomeResposta);
    if (registro.isEmpty() || pedidoAssinado.trimmed().isEmpty()) return std::nullopt;
    return montaRaiz(cte ? u"procInutCTe"_s : u"ProcInutNFe"_s, tipo, pedidoAssinado, registro, nomeResposta);
}

} // namespace qel

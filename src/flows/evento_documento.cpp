#include "flows/evento_documento.h"

#include "flows/proc.h"
#include "flows/texto_livre.h"
#include "util/tabelas.h"
#include "util/texto.h"
#include "ws/construtores.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// The conditions of use of a correction letter are fixed texts of the layouts; each admits an
// accented and an unaccented form, and nothing else.
const QString kCondicaoNFe[] = {
    u"A Carta de Correcao e disciplinada pelo paragrafo 1o-A do art. 7o do Convenio S/N, de 15 de dezembro "
    u"de "
    "1970 e pode ser utilizada para regularizacao de erro ocorrido na emissao de documento fiscal, desde que "
    "o "
    "erro nao esteja relacionado com: I - as variaveis que determinam o valor do imposto tais como: base de "
    "calculo, aliquota, diferenca de preco, quantidade, valor da operacao ou da prestacao; II - a correcao "
    "de "
    "dados cadastrais que implique mudanca do remetente ou do destinatario; III - a data de emissao ou de "
    "saida."_s,
    u"A Carta de Correção é disciplinada pelo § 1º-A do art. 7º do Convênio S/N, de 15 de dezembro de 1970 e "
    "pode ser utilizada para regularização de erro ocorrido na emissão de documento fiscal, desde que o erro "
    "não "
    "esteja relacionado com: I - as variáveis que determinam o valor do imposto tais como: base de cálculo, "
    "alíquota, diferença de preço, quantidade, valor da operação ou da prestação; II - a correção de dados "
    "cadastrais que implique mudança do remetente ou do destinatário; III - a data de emissão ou de saída."_s,
};
const QString kCondicaoCTe[] = {
    u"A Carta de Correcao e disciplinada pelo Art. 58-B do CONVENIO/SINIEF 06/89: Fica permitida a "
    u"utilizacao "
    "de carta de correcao, para regularizacao de erro ocorrido na emissao de documentos fiscais relativos a "
    "prestacao de servico de transporte, desde que o erro nao esteja relacionado com: I - as variaveis que "
    "determinam o valor do imposto tais como: base de calculo, aliquota, diferenca de preco, quantidade, "
    "valor "
    "da prestacao;II - a correcao de dados cadastrais que implique mudanca do emitente, tomador, remetente "
    "ou "
    "do destinatario;III - a data de emissao ou de saida."_s,
    u"A Carta de Correção é disciplinada pelo Art. 58-B do CONVÊNIO/SINIEF 06/89: Fica permitida a "
    u"utilização "
    "de carta de correção, para regularização de erro ocorrido na emissão de documentos fiscais relativos à "
    "prestação de serviço de transporte, desde que o erro não esteja relacionado com: I - as variáveis que "
    "determinam o valor do imposto tais como: base de cálculo, alíquota, diferença de preço, quantidade, "
    "valor "
    "da prestação;II - a correção de dados cadastrais que implique mudança do emitente, tomador, remetente "
    "ou "
    "do destinatário;III - a data de emissão ou de saída."_s,
};

struct Manifestacao {
    const char16_t* codigo;
    const char16_t* descricao;
    const char16_t* sufixo;
    bool nfe; // NF-e recipient's event; otherwise the CT-e taker's
};
constexpr Manifestacao kManifestacoes[] = {
    {u"210200", u"Confirmacao da Operacao", u"con", true},
    {u"210210", u"Ciencia da Operacao", u"cie", true},
    {u"210220", u"Desconhecimento da Operacao", u"des", true},
    {u"210240", u"Operacao nao Realizada", u"nao", true},
    {u"610110", u"Prestacao do Servico em Desacordo", u"dso", false},
};

const Manifestacao* manifestacao(const QString& codigo) {
    for (const Manifestacao& m : kManifestacoes)
        if (codigo == QStringView(m.codigo)) return &m;
    return nullptr;
}

bool grupoNFe(TipoDocumento tipo) {
    return tipo == TipoDocumento::NFe || tipo == TipoDocumento::NFCe;
}

bool digitos(const QString& texto, qsizetype tamanho) {
    if (texto.size() != tamanho) return false;
    return std::all_of(texto.begin(), texto.end(), [](QChar c) { return c.isDigit(); });
}

// The kind's word pasted into tag names: evCancCTe, evEncMDFe.
QString palavraTipo(TipoDocumento tipo) {
    return tipo == TipoDocumento::CTe ? u"CTe"_s : u"MDFe"_s;
}

struct Detalhe {
    QString xml;
    QString recusa;
};

Detalhe justificativa(const PedidoEvento& p, const QString& rotulo) {
    const QString texto = textoLivre(p.justificativa);
    if (const QString recusa = recusaTexto(rotulo, texto, 15, 255); !recusa.isEmpty()) return {{}, recusa};
    return {elementoXml(u"xJust"_s, texto), {}};
}

Detalhe protocolo(const PedidoEvento& p) {
    const QString nProt = p.protocolo.trimmed();
    // Authorities have begun to give 17-digit protocols; 15 is the layouts' own length.
    if (!digitos(nProt, 15) && !digitos(nProt, 17))
        return {{},
                nProt.isEmpty()
                    ? u"O protocolo de autorização do documento não foi encontrado: nem no arquivo "
                      "de documentos, nem na tarefa (PROTOCOLO)."_s
                    : u"O protocolo de autorização \""_s + nProt + u"\" não é válido."_s};
    return {elementoXml(u"nProt"_s, nProt), {}};
}

Detalhe cancelamento(const PedidoEvento& p) {
    const Detalhe prot = protocolo(p);
    if (!prot.recusa.isEmpty()) return prot;
    const Detalhe just = justificativa(p, u"A justificativa do cancelamento"_s);
    if (!just.recusa.isEmpty()) return just;
    const QString corpo = elementoXml(u"descEvento"_s, u"Cancelamento"_s) + prot.xml + just.xml;
    if (grupoNFe(p.tipo)) return {corpo, {}};
    const QString grupo = u"evCanc"_s + palavraTipo(p.tipo);
    return {u'<' + grupo + u'>' + corpo + u"</"_s + grupo + u'>', {}};
}

Detalhe encerramento(const PedidoEvento& p) {
    if (p.tipo != TipoDocumento::MDFe) return {{}, u"O encerramento é um evento do MDF-e."_s};
    const Detalhe prot = protocolo(p);
    if (!prot.recusa.isEmpty()) return prot;
    if (!digitos(p.ufEncerramento, 2) || !digitos(p.munEncerramento, 7))
        return {{},
                u"O MDF-e arquivado não informa a UF e o município de descarga (UFFim, cMunDescarga); "
                "não é possível encerrá-lo."_s};
    return {u"<evEncMDFe>"_s + elementoXml(u"descEvento"_s, u"Encerramento"_s) + prot.xml +
                elementoXml(u"dtEnc"_s, p.dataEncerramento) + elementoXml(u"cUF"_s, p.ufEncerramento) +
                elementoXml(u"cMun"_s, p.munEncerramento) + u"</evEncMDFe>"_s,
            {}};
}

QString condicaoUso(const QString& pedida, const QString (&oficiais)[2]) {
    const QString texto = pedida.trimmed();
    for (const QString& oficial : oficiais)
        if (texto == oficial) return oficial;
    // Any other text is refused by the authority: the layout's own goes instead.
    return oficiais[0];
}

Detalhe cartaCorrecao(const PedidoEvento& p) {
    QStringList linhas;
    for (const QString& linha : p.correcoes)
        if (!linha.trimmed().isEmpty()) linhas.append(linha);
    if (linhas.isEmpty())
        return {{}, u"A carta de correção não tem texto de correção (linhas \"CCe Texto\" da tarefa)."_s};
    const QString descricao = elementoXml(u"descEvento"_s, u"Carta de Correcao"_s);
    if (grupoNFe(p.tipo)) {
        QStringList partes;
        for (const QString& linha : std::as_const(linhas))
            partes.append(textoLivre(linha));
        const QString correcao = partes.join(u"; "_s);
        if (const QString recusa = recusaTexto(u"O texto da carta de correção"_s, correcao, 15, 1000);
            !recusa.isEmpty())
            return {{}, recusa};
        return {descricao + elementoXml(u"xCorrecao"_s, correcao) +
                    elementoXml(u"xCondUso"_s, condicaoUso(p.condicaoUso, kCondicaoNFe)),
                {}};
    }
    if (p.tipo != TipoDocumento::CTe) return {{}, u"O MDF-e não tem carta de correção."_s};
    // Each line: the group in columns 1-20, the field in 21-40, the new value from 41 on.
    QString correcoes;
    for (const QString& linha : std::as_const(linhas)) {
        const QString grupo = linha.left(20).trimmed();
        const QString campo = linha.mid(20, 20).trimmed();
        const QString valor = textoLivre(linha.mid(40));
        if (grupo.isEmpty() || campo.isEmpty())
            return {{},
                    u"Linha de correção sem grupo (colunas 1 a 20) ou sem campo (colunas 21 a 40): \""_s +
                        linha.trimmed() + u'"'};
        if (const QString recusa =
                recusaTexto(u"O valor corrigido de "_s + grupo + u'/' + campo, valor, 1, 500);
            !recusa.isEmpty())
            return {{}, recusa};
        correcoes += u"<infCorrecao>"_s + elementoXml(u"grupoAlterado"_s, grupo) +
                     elementoXml(u"campoAlterado"_s, campo) + elementoXml(u"valorAlterado"_s, valor) +
                     u"</infCorrecao>"_s;
    }
    return {u"<evCCeCTe>"_s + descricao + correcoes +
                elementoXml(u"xCondUso"_s, condicaoUso(p.condicaoUso, kCondicaoCTe)) + u"</evCCeCTe>"_s,
            {}};
}

Detalhe manifestacaoDetalhe(const PedidoEvento& p) {
    const Manifestacao* m = manifestacao(p.codigo);
    if (!m || m->nfe != grupoNFe(p.tipo) || p.tipo == TipoDocumento::MDFe)
        return {{},
                u"Tipo de evento de manifestação \""_s + p.codigo + u"\" não serve para "_s + texto(p.tipo) +
                    u" (NF-e: 210200, 210210, 210220, 210240; CT-e: 610110)."_s};
    const QString descricao = elementoXml(u"descEvento"_s, QString::fromUtf16(m->descricao));
    if (p.codigo == u"210240"_s) {
        const Detalhe just = justificativa(p, u"A justificativa da operação não realizada"_s);
        if (!just.recusa.isEmpty()) return just;
        return {descricao + just.xml, {}};
    }
    if (!m->nfe)
        return {u"<evPrestDesacordo>"_s + descricao + elementoXml(u"indDesacordoOper"_s, u"1"_s) +
                    elementoXml(u"xObs"_s, u"Desconhecimento de Operacao"_s) + u"</evPrestDesacordo>"_s,
                {}};
    return {descricao, {}};
}

} // namespace

QString codigoEvento(TipoEvento evento, const QString& codigoManifestacao) {
    switch (evento) {
    case TipoEvento::Cancelamento:
        return u"110111"_s;
    case TipoEvento::Encerramento:
        return u"110112"_s;
    case TipoEvento::CartaCorrecao:
        return u"110110"_s;
    case TipoEvento::Manifestacao:
        return codigoManifestacao.trimmed();
    }
    return {};
}

int sequenciaMaxima(TipoDocumento tipo) {
    if (grupoNFe(tipo)) return 20;
    return tipo == TipoDocumento::CTe ? 999 : 99;
}

QString sufixoManifestacao(const QString& codigo) {
    const Manifestacao* m = manifestacao(codigo.trimmed());
    return m ? QString::fromUtf16(m->sufixo) : QString();
}

QString dataHoraDoEstado(const QDateTime& instante, const QString& uf) {
    const QDateTime utc = instante.toUTC();
    const QString fuso = Fuso_Horario(uf, utc.date());
    const int horas = fuso.mid(1, 2).toInt();
    const int minutos = fuso.mid(4, 2).toInt();
    const int sinal = fuso.startsWith(u'-') ? -1 : 1;
    // The state's wall clock, whatever zone the machine runs in.
    const QDateTime local = utc.addSecs(sinal * (horas * 3600 + minutos * 60));
    return local.toString(u"yyyy-MM-ddTHH:mm:ss"_s) + fuso;
}

DocumentoEvento montaEvento(const PedidoEvento& p) {
    const bool nfe = grupoNFe(p.tipo);
    if (!nfe && p.tipo != TipoDocumento::CTe && p.tipo != TipoDocumento::MDFe)
        return {{}, u"Eventos deste tipo de documento não são enviados à SEFAZ: "_s + texto(p.tipo)};
    const QString chave = p.chave.trimmed();
    if (chave.size() != 44) return {{}, u"Chave de acesso inválida: \""_s + chave + u'"'};
    if (p.sequencia < 1 || p.sequencia > sequenciaMaxima(p.tipo))
        return {{},
                u"Sequência do evento fora do intervalo de 1 a "_s +
                    QString::number(sequenciaMaxima(p.tipo)) + u": "_s + QString::number(p.sequencia)};
    const QString autor = CnpjSemPontuacao(p.cnpj);
    if (autor.size() != 14 && autor.size() != 11)
        return {{}, u"CNPJ do autor do evento inválido: \""_s + p.cnpj + u'"'};

    Detalhe detalhe;
    switch (p.evento) {
    case TipoEvento::Cancelamento:
        detalhe = cancelamento(p);
        break;
    case TipoEvento::Encerramento:
        detalhe = encerramento(p);
        break;
    case TipoEvento::CartaCorrecao:
        detalhe = cartaCorrecao(p);
        break;
    case TipoEvento::Manifestacao:
        detalhe = manifestacaoDetalhe(p);
        break;
    }
    if (!detalhe.recusa.isEmpty()) return {{}, detalhe.recusa};

    const QString tpEvento = codigoEvento(p.evento, p.codigo);
    const int digitosSequencia = p.tipo == TipoDocumento::CTe ? 3 : 2;
    const QString id =
        u"ID"_s + tpEvento + chave + QString::number(p.sequencia).rightJustified(digitosSequencia, u'0');
    QString raiz;
    QString versao;
    QString chaveTag;
    QString detEvento;
    if (nfe) {
        raiz = u"evento"_s;
        versao = u"1.00"_s;
        chaveTag = u"chNFe"_s;
        detEvento = u"<detEvento versao=\"1.00\">"_s;
    } else if (p.tipo == TipoDocumento::CTe) {
        raiz = u"eventoCTe"_s;
        versao = u"4.00"_s;
        chaveTag = u"chCTe"_s;
        detEvento = u"<detEvento versaoEvento=\"4.00\">"_s;
    } else {
        raiz = u"eventoMDFe"_s;
        versao = u"3.00"_s;
        chaveTag = u"chMDFe"_s;
        detEvento = u"<detEvento versaoEvento=\"3.00\">"_s;
    }
    QString info = elementoXml(u"cOrgao"_s, p.cOrgao) + elementoXml(u"tpAmb"_s, codigo(p.ambiente)) +
                   elementoXml(autor.size() == 11 ? u"CPF"_s : u"CNPJ"_s, autor) +
                   elementoXml(chaveTag, chave) + elementoXml(u"dhEvento"_s, p.dhEvento) +
                   elementoXml(u"tpEvento"_s, tpEvento) +
                   elementoXml(u"nSeqEvento"_s, QString::number(p.sequencia));
    if (nfe) info += elementoXml(u"verEvento"_s, u"1.00"_s);
    info += detEvento + detalhe.xml + u"</detEvento>"_s;
    DocumentoEvento d;
    d.xml = u'<' + raiz + u" xmlns=\""_s + namespaceDoTipo(p.tipo) + u"\" versao=\""_s + versao +
            u"\"><infEvento Id=\""_s + id + u"\">"_s + info + u"</infEvento></"_s + raiz + u'>';
    return d;
}

std::optional<QString> montaProcEvento(TipoDocumento tipo, const QString& eventoAssinado,
                                       const QString& resposta) {
    QString raiz;
    QString nomeResposta;
    if (grupoNFe(tipo)) {
        raiz = u"procEventoNFe"_s;
        nomeResposta = u"retEvento"_s;
    } else if (tipo == TipoDocumento::CTe) {
        raiz = u"procEventoCTe"_s;
        nomeResposta = u"retEventoCTe"_s;
    } else if (tipo == TipoDocumento::MDFe) {
        raiz = u"procEventoMDFe"_s;
        nomeResposta = u"retEventoMDFe"_s;
    } else {
        return std::nullopt;
    }
    const QString registro = elementoCompleto(resposta, nomeResposta);
    if (registro.isEmpty() || eventoAssinado.trimmed().isEmpty()) return std::nullopt;
    // A registration that names another document's key is not this event's (the layout lets the
    // key be left out of it: then the event's own is taken as named).
    const QString chaveRegistro = chaveDoProtocolo(registro);
    if (!chaveRegistro.isEmpty() && chaveRegistro != chaveDoProtocolo(eventoAssinado)) return std::nullopt;
    return montaRaiz(raiz, tipo, eventoAssinado, registro, nomeResposta);
}

QStringList procsEventoDaResposta(TipoDocumento tipo, const QString& resposta) {
    const QString nome = grupoNFe(tipo) ? u"procEventoNFe"_s : u"procEvento"_s + texto(tipo);
    const QString ns = namespaceDoTipo(tipo);
    QStringList procs;
    qsizetype desde = 0;
    for (;;) {
        qsizetype fim = 0;
        const QString proc = elementoCompleto(resposta, nome, desde, &fim);
        if (proc.isEmpty()) break;
        procs.append(QString::fromUtf16(kDeclaracaoXml) + comNamespace(proc, nome, ns));
        desde = fim;
    }
    return procs;
}

} // namespace qel

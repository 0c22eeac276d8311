#include "print/dacte/dacte.h"

#include "print/codigo_barras.h"
#include "print/codigo_qr.h"
#include "print/impressao.h"
#include "util/arquivos.h"
#include "util/leitor_xml.h"
#include "util/numeros.h"
#include "util/posicoes.h"
#include "util/situacao.h"
#include "util/texto.h"

#include <QHash>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// Entries the first page lists per column of documents (normal CT-e) and of deliveries
// (simplified CT-e).
constexpr int kDocumentosPorColuna = 9;
constexpr int kEntregasPorColuna = 28;

double numero(const QString& texto) {
    try {
        return Texto_Decimal(texto);
    } catch (const std::exception&) {
        return 0;
    }
}

QString valor(const QString& mascara, const QString& texto) {
    return Formata_Valor(mascara, numero(texto)).trimmed();
}

QString numeroDaChave(const QString& chave) {
    return QString::number(Copia(chave, 26, 9).toLongLong());
}

// The QR text of a CT-e or MDF-e: the CDATA section of its element, or its escaped text.
QString textoQr(const LeitorXml& leitor, const QString& elemento) {
    const QList<Ocorrencia> qr = Ocorrencias(leitor.linhas(), elemento);
    return qr.isEmpty() ? QString() : qr.first().valor().trimmed();
}

// One line of the list of documents the CT-e carries.
struct Documento {
    QString tipo, numero, emissao, valor;
    bool chave = false; // an NF-e listed by its access key
};

class Dacte {
public:
    Dacte(ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg, SaidaImpressao& saida)
        : ctx_(ctx), cfg_(cfg), saida_(saida) {}

    void imprime(const QString& documento);

private:
    QString busca(const QString& nome, const QString& grupo = {}, int indice = 0) const {
        return textoDoXml(leitor_.Busca_Valor(nome, grupo, indice));
    }
    void preenche(Modelo& m, const QString& nome, const QString& texto) {
        Preenche_Memo(m, nome, texto, VarianteMemo::SemVaziosMeio);
    }
    void aviso();
    void cabecalho(Modelo& m, bool simplificado);
    void emitente(Modelo& m);
    bool parte(Modelo& m, const QString& secao, const QString& prefixo);
    void resumoDaParte(const QString& secao, QString& nome, QString& documento, QString& cidade);
    void observacoes(Modelo& m);
    void componentes(Modelo& m, const QList<std::pair<QString, double>>& lista);
    void imposto(Modelo& m);
    void modalRodoviario(Modelo& m);
    void cteNormal();
    void cteSimplificado();
    QList<Documento> documentos();
    Modelo continuacao(const QString& modelo);
    void termina(QList<Modelo>& paginas);

    ContextoImpressao& ctx_;
    const ConfiguracaoEmpresa& cfg_;
    SaidaImpressao& saida_;
    LeitorXml leitor_{u"CTe"_s};
    QString documento_;
    QString nCT_, serie_, modelo_, emissao_, hora_, protocolo_, aviso_;
    Simbolo barras_, qr_;
    QImage logo_;
    QString dadosEmpresa_;
};

void Dacte::imprime(const QString& documento) {
    documento_ = documento;
    ctx_.tipo = TipoDocumento::CTe;
    leitor_.Carrega_XML(documento);
    if (const QString qr = textoQr(leitor_, u"qrCodCTe"_s); !qr.isEmpty()) qr_ = simboloQr(qr);
    ctx_.chave = leitor_.Busca_Valor(u"Chave de Acesso"_s);
    aviso();

    // The logo only on the company's own documents.
    const QString logo = caminhoNativo(cfg_.Logotipo);
    if (Copia(ctx_.chave, 7, 14) == CnpjSemPontuacao(ctx_.cnpj) && !cfg_.Logotipo.trimmed().isEmpty() &&
        existeArquivo(logo))
        logo_.load(localizaCaminho(logo));
    if (!ctx_.chave.trimmed().isEmpty()) barras_ = simboloBarras(ctx_.chave);

    leitor_.Seleciona_Grupo(u"ide"_s);
    nCT_ = busca(u"nCT"_s);
    serie_ = busca(u"serie"_s);
    modelo_ = busca(u"mod"_s);
    QString emissao = busca(u"dhEmi"_s);
    if (emissao.isEmpty()) emissao = busca(u"dEmi"_s);
    emissao_ = dataDoXml(emissao);
    hora_ = horaDoXml(emissao);
    // The e-mail's body names the emission of every document it carries.
    ctx_.resumo.emissao = emissao_ + u" - "_s + hora_;
    ctx_.prefixoPdf = u"C:\\Qel\\Dacte"_s + QString::number(static_cast<qint64>(numero(nCT_)));
    // The simplified CT-e has a document of its own (CTeSimp); its type code says it too.
    const QString tpCTe = busca(u"tpCTe"_s);
    const bool simplificado =
        tpCTe == u"5"_s || tpCTe == u"6"_s ||
        std::any_of(leitor_.linhas().cbegin(), leitor_.linhas().cend(), [](const QString& linha) {
            return linha.trimmed().startsWith(u"<CTeSimp"_s, Qt::CaseInsensitive);
        });
    if (simplificado)
        cteSimplificado();
    else
        cteNormal();
}

// The notice words, the last that applies winning: homologation, never transmitted, cancelled,
// denied.
void Dacte::aviso() {
    leitor_.Seleciona_Grupo(u"ide"_s);
    if (busca(u"tpAmb"_s) == u"2"_s) aviso_ = u"SEM VALOR FISCAL"_s;
    leitor_.Seleciona_Grupo(u"protCTe"_s);
    const QString nProt = busca(u"nProt"_s);
    const QString cStat = Ultimo_cStat(leitor_.linhas().join(QString()));
    const QString situacao =
        documento_.trimmed().startsWith(u'<') ? QString() : Situacao_Documento(caminhoNativo(documento_));
    if (nProt.trimmed().isEmpty()) {
        aviso_ = u"Não Transmitida"_s;
    } else {
        const QString recebido = busca(u"dhRecbto"_s);
        protocolo_ = nProt + u"   -   "_s + dataDoXml(recebido) + u"   -   "_s + horaDoXml(recebido);
        // A proc whose own protocol is the cancellation's (a consultation stored it so) is
        // cancelled as surely as one with the cancellation file beside it.
        if (situacao == u"Cancelada"_s || cStat == u"101"_s) aviso_ = u"Cancelado"_s;
    }
    static const QStringList denegados{u"205"_s, u"301"_s, u"302"_s, u"303"_s};
    if (denegados.contains(cStat) || situacao == u"Denegada"_s) aviso_ = u"Denegada"_s;
}

// What every page's header repeats: numbers, dates, key, barcode, logo, protocol and notice.
void Dacte::cabecalho(Modelo& m, bool primeira) {
    const bool tem = m.tem(u"Nro2"_s);
    preenche(m, tem ? u"Nro2"_s : u"Nro"_s, numeroDocumento(nCT_));
    preenche(m, tem ? u"Serie2"_s : u"Serie"_s, serie_);
    if (primeira) {
        preenche(m, u"Nro1"_s, numeroDocumento(nCT_));
        preenche(m, u"Serie1"_s, serie_);
    }
    preenche(m, u"Modelo"_s, modelo_);
    preenche(m, u"Emissao"_s, emissao_);
    preenche(m, u"Hora"_s, hora_);
    preenche(m, u"Modal"_s, u"Rodoviário"_s);
    preenche(m, u"Chave"_s, chaveAgrupada(ctx_.chave));
    preenche(m, u"Protocolo"_s, protocolo_);
    Preenche_Memo(m, u"Aviso"_s, aviso_);
    preenche(m, u"Dados_empresa"_s, dadosEmpresa_);
    m.objeto(u"Barras"_s).defineSimbolo(barras_);
    m.objeto(u"Logo"_s).imagem = logo_;
    if (m.tem(u"QRCode"_s)) m.objeto(u"QRCode"_s).defineSimbolo(qr_);
}

void Dacte::emitente(Modelo& m) {
    leitor_.Seleciona_Grupo(u"emit"_s);
    const QString nome = busca(u"xNome"_s);
    const QString fone = busca(u"fone"_s);
    ctx_.resumo.emitenteNome = nome;
    ctx_.resumo.emitenteCidade = busca(u"xMun"_s);
    ctx_.resumo.emitenteFone = fone;
    dadosEmpresa_ = nome + u'|' + busca(u"xLgr"_s) + u", "_s + busca(u"nro"_s) + u'|' + busca(u"xBairro"_s) +
                    u'|' + busca(u"xMun"_s) + u" - "_s + busca(u"UF"_s) + u"|CNPJ "_s +
                    Formata_CNPJ(busca(u"CNPJ"_s) + busca(u"CPF"_s)) + u"|IE "_s + busca(u"IE"_s) + u'|' +
                    Formata_Fone(fone);
    preenche(m, u"Dados_empresa"_s, dadosEmpresa_);
}

// The boxes of a party from its section; false (and the boxes left empty) when the CT-e has none.
bool Dacte::parte(Modelo& m, const QString& secao, const QString& prefixo) {
    if (!leitor_.Seleciona_Grupo(secao)) return false;
    const QString lgr = busca(u"xLgr"_s);
    const QString nro = busca(u"nro"_s);
    preenche(m, prefixo + u"Nome"_s, busca(u"xNome"_s));
    preenche(m, prefixo + u"Endereco"_s, nro.isEmpty() ? lgr : lgr + u", "_s + nro);
    preenche(m, prefixo + u"Bairro"_s, busca(u"xBairro"_s));
    preenche(m, prefixo + u"Municipio"_s, busca(u"xMun"_s));
    preenche(m, prefixo + u"UF"_s, busca(u"UF"_s));
    preenche(m, prefixo + u"CEP"_s, busca(u"CEP"_s));
    preenche(m, prefixo + u"Pais"_s, busca(u"xPais"_s));
    preenche(m, prefixo + u"Doc1"_s, Formata_CNPJ(busca(u"CNPJ"_s) + busca(u"CPF"_s)));
    preenche(m, prefixo + u"IE"_s, busca(u"IE"_s));
    preenche(m, prefixo + u"Fone"_s, Formata_Fone(busca(u"fone"_s)));
    return true;
}

void Dacte::resumoDaParte(const QString& secao, QString& nome, QString& documento, QString& cidade) {
    if (!leitor_.Seleciona_Grupo(secao)) return;
    nome = busca(u"xNome"_s);
    documento = Formata_CNPJ(busca(u"CNPJ"_s) + busca(u"CPF"_s));
    cidade = busca(u"xMun"_s);
}

void Dacte::observacoes(Modelo& m) {
    leitor_.Seleciona_Grupo(u"compl"_s);
    preenche(m, u"Obs"_s, busca(u"xObs"_s));
    encaixaTexto(m.objeto(u"Obs"_s));
    QStringList linhas;
    for (const Ocorrencia& o : Ocorrencias(leitor_.linhas(), u"ObsCont"_s).mid(0, 10))
        linhas.append(o.atributo(u"xCampo"_s) + u' ' + o.valor(u"xTexto"_s));
    // The blank pieces between the lines are skipped by the setter; the last stays.
    preenche(m, u"Exclusivo_Emissor"_s, linhas.join(u'|'));
    encaixaTexto(m.objeto(u"Exclusivo_Emissor"_s));
}

// Names and values of the components, three per column; beyond the ninth none is printed.
void Dacte::componentes(Modelo& m, const QList<std::pair<QString, double>>& lista) {
    for (int coluna = 0; coluna < 3; ++coluna) {
        QStringList nomes, valores;
        for (int k = coluna * 3; k < coluna * 3 + 3 && k < lista.size(); ++k) {
            nomes.append(lista.at(k).first);
            valores.append(Formata_Valor(u"ZZZ,ZZ0.00"_s, lista.at(k).second).trimmed());
        }
        Objeto& nome = m.objeto(u"Nome_Val"_s + QString::number(coluna + 1));
        Objeto& vlr = m.objeto(u"Val"_s + QString::number(coluna + 1));
        nome.linhas = nomes;
        vlr.linhas = valores;
    }
}

void Dacte::imposto(Modelo& m) {
    leitor_.Seleciona_Grupo(u"imp"_s);
    const QString cst = busca(u"CST"_s);
    const QString mascara = u"###,##0.00"_s;
    const auto normal = [&] {
        preenche(m, u"Base_Calculo"_s, valor(mascara, busca(u"vBC"_s)));
        preenche(m, u"Aliquota"_s, valor(mascara, busca(u"pICMS"_s)));
        preenche(m, u"Valor_ICM"_s, valor(mascara, busca(u"vICMS"_s)));
    };
    QString situacao;
    if (cst.trimmed().isEmpty() || busca(u"indSN"_s) == u"1"_s) {
        // The Simples Nacional group of layout 4.00 carries CST 90 and its flag.
        situacao = u"Simples Nacional"_s;
    } else if (cst == u"00"_s) {
        situacao = cst + u" - Tributação normal"_s;
        normal();
    } else if (cst == u"20"_s) {
        situacao = cst + u" - Tributação com Base reduzida do ICMS"_s;
        normal();
        preenche(m, u"Red_Base"_s, valor(mascara, busca(u"pRedBC"_s)));
    } else if (cst == u"40"_s) {
        situacao = cst + u" - ICMS isenção"_s;
    } else if (cst == u"41"_s) {
        situacao = cst + u" - ICMS não tributada"_s;
    } else if (cst == u"51"_s) {
        situacao = cst + u" - ICMS diferido"_s;
    } else if (cst == u"60"_s) {
        situacao = cst + u" - Substituicao Tributaria"_s;
        preenche(m, u"Base_Calculo"_s, valor(mascara, busca(u"vBCSTRet"_s)));
        preenche(m, u"Aliquota"_s, valor(mascara, busca(u"pICMSSTRet"_s)));
        preenche(m, u"ICMS_ST"_s, valor(mascara, busca(u"vICMSSTRet"_s)));
    } else if (cst == u"90"_s && numero(busca(u"vICMSOutraUF"_s)) > 0) {
        situacao = cst + u" - ICMS Outra UF"_s;
        preenche(m, u"Base_Calculo"_s, valor(mascara, busca(u"vBCOutraUF"_s)));
        preenche(m, u"Aliquota"_s, valor(mascara, busca(u"pICMSOutraUF"_s)));
        preenche(m, u"Valor_ICM"_s, valor(mascara, busca(u"vICMSOutraUF"_s)));
    } else if (cst == u"90"_s) {
        situacao = cst + u" - Outros"_s;
        normal();
    }
    preenche(m, u"Sit_Trib"_s, situacao);
}

void Dacte::modalRodoviario(Modelo& m) {
    leitor_.Seleciona_Grupo(u"rodo"_s);
    preenche(m, u"RNTRC"_s, busca(u"RNTRC"_s));
    preenche(m, u"CIOT"_s, busca(u"CIOT"_s));
    QString previsao = busca(u"dPrev"_s);
    // Layouts 3.00 and 4.00 moved the expected delivery to the delivery group of the complement.
    if (previsao.isEmpty() && leitor_.Seleciona_Grupo(u"Entrega"_s))
        previsao = busca(u"dProg"_s).isEmpty() ? busca(u"dIni"_s) : busca(u"dProg"_s);
    preenche(m, u"Previsao_Entrega"_s, dataDoXml(previsao));
    preenche(m, u"Informacoes"_s, u"Informações Específicas do Modal Rodoviário"_s);
}

QString codigoEmTexto(const QString& codigo, const QHash<QString, QString>& tabela) {
    return tabela.value(codigo, codigo);
}

const QHash<QString, QString>& tiposCte() {
    static const QHash<QString, QString> t{{u"0"_s, u"Normal"_s},       {u"1"_s, u"Complementar"_s},
                                           {u"2"_s, u"Anulação"_s},     {u"3"_s, u"Substituição"_s},
                                           {u"5"_s, u"Simplificado"_s}, {u"6"_s, u"Subst. Simplificado"_s}};
    return t;
}

const QHash<QString, QString>& tiposServico() {
    static const QHash<QString, QString> t{{u"0"_s, u"Normal"_s},
                                           {u"1"_s, u"Subcontratacao"_s},
                                           {u"2"_s, u"Redespacho"_s},
                                           {u"3"_s, u"Red.Intermediario"_s},
                                           {u"4"_s, u"Vinc. Multimodal"_s}};
    return t;
}

const QHash<QString, QString>& formasPagamento() {
    static const QHash<QString, QString> t{{u"0"_s, u"Pago"_s}, {u"1"_s, u"Pagar"_s}, {u"2"_s, u"Outros"_s}};
    return t;
}

// The documents the CT-e carries: NF-e by key, paper notes and other documents by number, date
// and value, in the order of the document.
QList<Documento> Dacte::documentos() {
    QList<Documento> lista;
    if (!leitor_.Seleciona_Grupo(u"infDoc"_s)) return lista;
    const QStringList& linhas = leitor_.linhasGrupo();
    // Walked once, each kind in document order; the schema keeps the kinds apart anyway.
    for (const Ocorrencia& o : Ocorrencias(linhas, u"infNFe"_s)) {
        const QString chave = o.valor(u"chave"_s);
        lista.append({u"NFe "_s + numeroDaChave(chave), chave, {}, {}, true});
    }
    for (const Ocorrencia& o : Ocorrencias(linhas, u"infNF"_s))
        lista.append({u"NF "_s + o.valor(u"mod"_s),
                      o.valor(u"serie"_s).isEmpty() ? o.valor(u"nDoc"_s)
                                                    : o.valor(u"serie"_s) + u'/' + o.valor(u"nDoc"_s),
                      dataDoXml(o.valor(u"dEmi"_s)), valor(u"###,##0.00"_s, o.valor(u"vNF"_s))});
    for (const Ocorrencia& o : Ocorrencias(linhas, u"infOutros"_s)) {
        QString descricao = o.valor(u"descOutros"_s).trimmed();
        if (descricao.isEmpty()) descricao = u"Outros "_s + o.valor(u"tpDoc"_s);
        lista.append(
            {descricao, o.valor(u"nDoc"_s).trimmed(), dataDoXml(o.valor(u"dEmi"_s)).trimmed(),
             o.valor(u"vDocFisc"_s).isEmpty() ? QString() : valor(u"###,##0.00"_s, o.valor(u"vDocFisc"_s))});
    }
    return lista;
}

Modelo Dacte::continuacao(const QString& modelo) {
    Modelo m = Modelo::carrega(u":/qel/print/dacte/"_s + modelo + u".json"_s);
    cabecalho(m, false);
    return m;
}

// Page numbers, thin frames and the output stage.
void Dacte::termina(QList<Modelo>& paginas) {
    Relatorio relatorio;
    for (qsizetype i = 0; i < paginas.size(); ++i) {
        preenche(paginas[i], u"Folha"_s, QString::number(i + 1) + u'/' + QString::number(paginas.size()));
        Afina_Molduras(paginas[i]);
        relatorio.adicionaPagina(paginas.at(i));
    }
    const QString nCT = QString::number(static_cast<qint64>(numero(nCT_)));
    Saida_Relatorio(
        relatorio,
        {cfg_.ImpressoraCTe,
         cfg_.CTe_Copias,
         u"1"_s,
         {u"DACTE "_s + nCT, u"Qel DFe"_s, u"DACTE do CT-e "_s + ctx_.chave, u"Qel DFe"_s, u"Qel DFe"_s, {}}},
        ctx_, cfg_, saida_);
}

void Dacte::cteNormal() {
    QList<Modelo> paginas{Modelo::carrega(u":/qel/print/dacte/CTe.json"_s)};
    Modelo& m = paginas.first();
    emitente(m);
    cabecalho(m, true);
    leitor_.Seleciona_Grupo(u"ide"_s);
    preenche(m, u"Natureza"_s, busca(u"natOp"_s));
    preenche(m, u"CFOP"_s, busca(u"CFOP"_s));
    preenche(m, u"Suframa"_s, QString());
    preenche(m, u"Tipo_CTe"_s, codigoEmTexto(busca(u"tpCTe"_s), tiposCte()));
    preenche(m, u"Tipo_Servico"_s, codigoEmTexto(busca(u"tpServ"_s), tiposServico()));
    preenche(m, u"Pagamento"_s, codigoEmTexto(busca(u"forPag"_s), formasPagamento()));
    static const QHash<QString, QString> tomadores{{u"0"_s, u"Remetente"_s},
                                                   {u"1"_s, u"Expedidor"_s},
                                                   {u"2"_s, u"Recebedor"_s},
                                                   {u"3"_s, u"Destinatário"_s},
                                                   {u"4"_s, u"Outro"_s}};
    const QString toma = busca(u"toma"_s);
    preenche(m, u"Tom_Servico"_s, codigoEmTexto(toma, tomadores));
    preenche(m, u"Origem_Prest"_s, busca(u"xMunIni"_s) + u" - "_s + busca(u"UFIni"_s));
    preenche(m, u"Destino_Prest"_s, busca(u"xMunFim"_s) + u" - "_s + busca(u"UFFim"_s));

    // The payer repeats the party it names; "Outro" has a section of its own.
    static const QHash<QString, QString> secoes{{u"0"_s, u"rem"_s},
                                                {u"1"_s, u"exped"_s},
                                                {u"2"_s, u"receb"_s},
                                                {u"3"_s, u"dest"_s},
                                                {u"4"_s, u"toma4"_s}};
    parte(m, u"rem"_s, u"Rem_"_s);
    parte(m, u"exped"_s, u"Exp_"_s);
    parte(m, u"receb"_s, u"Receb_"_s);
    parte(m, u"dest"_s, u"Dest_"_s);
    if (secoes.contains(toma)) {
        parte(m, secoes.value(toma), u"Tom_"_s);
        if (leitor_.Seleciona_Grupo(secoes.value(toma))) preenche(m, u"Tom_Bairro"_s, busca(u"xBairro"_s));
        resumoDaParte(secoes.value(toma), ctx_.resumo.tomadorNome, ctx_.resumo.tomadorDocumento,
                      ctx_.resumo.tomadorCidade);
    }
    resumoDaParte(u"rem"_s, ctx_.resumo.remetenteNome, ctx_.resumo.remetenteDocumento,
                  ctx_.resumo.remetenteCidade);
    resumoDaParte(u"dest"_s, ctx_.resumo.destinatarioNome, ctx_.resumo.destinatarioDocumento,
                  ctx_.resumo.destinatarioCidade);

    observacoes(m);
    leitor_.Seleciona_Grupo(u"vPrest"_s);
    preenche(m, u"Total_Servico"_s, valor(u"###,##0.00"_s, busca(u"vTPrest"_s)));
    preenche(m, u"Total_Receber"_s, valor(u"###,##0.00"_s, busca(u"vRec"_s)));
    QList<std::pair<QString, double>> componentesDoValor;
    for (const Ocorrencia& c : Ocorrencias(leitor_.linhasGrupo(), u"Comp"_s))
        componentesDoValor.append({c.valor(u"xNome"_s), numero(c.valor(u"vComp"_s))});
    componentes(m, componentesDoValor);
    imposto(m);

    leitor_.Seleciona_Grupo(u"infCarga"_s);
    preenche(m, u"Prod_Pred"_s, busca(u"proPred"_s));
    preenche(m, u"Caracteristicas"_s, busca(u"xOutCat"_s));
    preenche(m, u"Valor_Mercadoria"_s, valor(u"###,##0.00"_s, busca(u"vCarga"_s)));
    const QList<Ocorrencia> quantidades = Ocorrencias(leitor_.linhasGrupo(), u"infQ"_s);
    for (int k = 0; k < 5 && k < quantidades.size(); ++k) {
        const QString q = quantidades.at(k).valor(u"qCarga"_s);
        preenche(m, u"Nome_Qtd"_s + QString::number(k + 1), quantidades.at(k).valor(u"tpMed"_s));
        preenche(m, u"Vlr_Qtd"_s + QString::number(k + 1), q.contains(u'.') ? valor(u"#####0.00"_s, q) : q);
    }

    // Documents: two columns on the first page, the rest on continuation pages.
    const QList<Documento> lista = documentos();
    const bool soChaves = !lista.isEmpty() && std::all_of(lista.cbegin(), lista.cend(),
                                                          [](const Documento& d) { return d.chave; });
    const auto coluna = [&](Modelo& pagina, int c, const QList<Documento>& parte, bool tipoSemNumero) {
        const QString n = QString::number(c);
        if (soChaves) {
            preenche(pagina, u"Label_List_Doc"_s + n, u"Chave de Acesso"_s);
            preenche(pagina, u"Label_List_Emissao"_s + n, QString());
            preenche(pagina, u"Label_List_Valor"_s + n, QString());
        } else {
            preenche(pagina, u"Label_List_Doc"_s + n, u"Numero Documento"_s);
            preenche(pagina, u"Label_List_Emissao"_s + n, u"Data Emissão"_s);
            preenche(pagina, u"Label_List_Valor"_s + n, u"Valor Documento"_s);
        }
        QStringList tipos, numeros, datas, valores;
        for (const Documento& d : parte) {
            tipos.append(tipoSemNumero && d.chave ? u"NFe"_s : d.tipo);
            numeros.append(d.numero);
            datas.append(d.emissao);
            valores.append(d.valor);
        }
        pagina.objeto(u"List_Tipo_Doc"_s + n).linhas = tipos;
        pagina.objeto(u"List_Doc"_s + n).linhas = numeros;
        pagina.objeto(u"List_Emissao"_s + n).linhas = datas;
        pagina.objeto(u"List_Valor"_s + n).linhas = valores;
    };
    coluna(m, 1, lista.mid(0, kDocumentosPorColuna), false);
    coluna(m, 2, lista.mid(kDocumentosPorColuna, kDocumentosPorColuna), soChaves);
    modalRodoviario(m);

    const qsizetype noPrimeira = 2 * kDocumentosPorColuna;
    if (lista.size() > noPrimeira) {
        Modelo molde = continuacao(u"CTe_Continuacao"_s);
        const int porColuna = linhasQueCabem(molde.objeto(u"List_Doc1"_s));
        for (qsizetype i = noPrimeira; i < lista.size(); i += 2 * porColuna) {
            Modelo pagina = molde;
            coluna(pagina, 1, lista.mid(i, porColuna), false);
            coluna(pagina, 2, lista.mid(i + porColuna, porColuna), false);
            paginas.append(pagina);
        }
        preenche(paginas.first(), u"Continua_Docs"_s,
                 u"Continua na folha 2: "_s + QString::number(lista.size()) + u" documentos"_s);
    }
    termina(paginas);
}

void Dacte::cteSimplificado() {
    QList<Modelo> paginas{Modelo::carrega(u":/qel/print/dacte/CteSimp.json"_s)};
    Modelo& m = paginas.first();
    emitente(m);
    cabecalho(m, true);
    leitor_.Seleciona_Grupo(u"ide"_s);
    preenche(m, u"Natureza"_s, busca(u"natOp"_s));
    preenche(m, u"CFOP"_s, busca(u"CFOP"_s));
    preenche(m, u"Suframa"_s, QString());
    preenche(m, u"Tipo_CTe"_s, codigoEmTexto(busca(u"tpCTe"_s), tiposCte()));
    preenche(m, u"Tipo_Servico"_s, codigoEmTexto(busca(u"tpServ"_s), tiposServico()));
    preenche(m, u"Pagamento"_s, codigoEmTexto(busca(u"forPag"_s), formasPagamento()));
    observacoes(m);
    if (parte(m, u"toma"_s, u"Tom_"_s)) preenche(m, u"Tom_Bairro"_s, busca(u"xBairro"_s));
    resumoDaParte(u"toma"_s, ctx_.resumo.tomadorNome, ctx_.resumo.tomadorDocumento,
                  ctx_.resumo.tomadorCidade);

    leitor_.Seleciona_Grupo(u"total"_s);
    preenche(m, u"Total_Servico"_s, valor(u"###,##0.00"_s, busca(u"vTPrest"_s)));
    preenche(m, u"Total_Receber"_s, valor(u"###,##0.00"_s, busca(u"vTRec"_s)));
    // The components of the simplified CT-e are given per delivery: the page shows their sums by
    // name, in the order they first appear.
    QList<std::pair<QString, double>> somas;
    for (const Ocorrencia& c : Ocorrencias(leitor_.linhas(), u"Comp"_s)) {
        const QString nome = c.valor(u"xNome"_s);
        auto it = std::find_if(somas.begin(), somas.end(), [&](const auto& s) { return s.first == nome; });
        if (it == somas.end()) it = somas.insert(somas.end(), {nome, 0.0});
        it->second += numero(c.valor(u"vComp"_s));
    }
    componentes(m, somas);
    imposto(m);

    leitor_.Seleciona_Grupo(u"infCarga"_s);
    preenche(m, u"Prod_Pred"_s, busca(u"proPred"_s));
    preenche(m, u"Valor_Mercadoria"_s, valor(u"###,##0.00"_s, busca(u"vCarga"_s)));
    // The kinds of measure of the simplified CT-e (its manual's table), by code.
    static const QHash<QString, QString> medidas{{u"00"_s, u"Cubagem da NF-e"_s},
                                                 {u"01"_s, u"Cubagem Aferida"_s},
                                                 {u"02"_s, u"Peso Bruto"_s},
                                                 {u"03"_s, u"Peso Bruto Aferido"_s},
                                                 {u"04"_s, u"Peso Cubado"_s},
                                                 {u"05"_s, u"Peso Base de Calculo"_s},
                                                 {u"06"_s, u"Peso Operacional"_s},
                                                 {u"07"_s, u"Caixas"_s},
                                                 {u"08"_s, u"Paletes"_s},
                                                 {u"09"_s, u"Sacas"_s},
                                                 {u"10"_s, u"Containers"_s},
                                                 {u"11"_s, u"Rolos"_s},
                                                 {u"12"_s, u"Bombonas"_s},
                                                 {u"13"_s, u"Latas"_s},
                                                 {u"14"_s, u"Litragem"_s},
                                                 {u"15"_s, u"Milhão de BTU"_s},
                                                 {u"99"_s, u"Outros"_s}};
    const QList<Ocorrencia> quantidades = Ocorrencias(leitor_.linhasGrupo(), u"infQ"_s);
    for (int k = 0; k < 3 && k < quantidades.size(); ++k) {
        const QString q = quantidades.at(k).valor(u"qCarga"_s);
        const QString tpMed = quantidades.at(k).valor(u"tpMed"_s);
        preenche(m, u"Nome_Qtd"_s + QString::number(k + 1), medidas.value(tpMed, tpMed));
        preenche(m, u"Vlr_Qtd"_s + QString::number(k + 1), q.contains(u'.') ? valor(u"#####0.00"_s, q) : q);
    }

    // Deliveries in the order of their item numbers: the municipality and value of each, then the
    // documents it delivers.
    QList<std::pair<int, Ocorrencia>> entregas;
    for (const Ocorrencia& det : Ocorrencias(leitor_.linhas(), u"det"_s))
        entregas.append({det.atributo(u"nItem"_s).toInt(), det});
    std::stable_sort(entregas.begin(), entregas.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList entradas;
    for (const auto& [item, det] : std::as_const(entregas)) {
        entradas.append(det.valor(u"xMunFim"_s) + u" - R$ "_s +
                        valor(u"###,##0.00"_s, det.valor(u"vPrest"_s)));
        entradas.append(det.valores(u"infNFe/chNFe"_s));
        entradas.append(det.valores(u"infDocAnt/chCTe"_s));
    }
    const qsizetype noPrimeira = 3 * kEntregasPorColuna;
    for (int c = 0; c < 3; ++c)
        m.objeto(u"List_Doc"_s + QString::number(c + 1)).linhas =
            entradas.mid(c * kEntregasPorColuna, kEntregasPorColuna);
    modalRodoviario(m);
    if (entradas.size() > noPrimeira) {
        Modelo molde = continuacao(u"CteSimp_Continuacao"_s);
        const int porColuna = linhasQueCabem(molde.objeto(u"List_Doc1"_s));
        for (qsizetype i = noPrimeira; i < entradas.size(); i += 3 * porColuna) {
            Modelo pagina = molde;
            for (int c = 0; c < 3; ++c)
                pagina.objeto(u"List_Doc"_s + QString::number(c + 1)).linhas =
                    entradas.mid(i + c * porColuna, porColuna);
            paginas.append(pagina);
        }
        preenche(paginas.first(), u"Continua_Docs"_s,
                 u"Continua na folha 2: "_s + QString::number(entradas.size()) + u" linhas de entregas"_s);
    }
    termina(paginas);
}

} // namespace

void imprimeDacte(const QString& documento, ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg,
                  SaidaImpressao& saida) {
    if (documento.trimmed().isEmpty()) return;
    Dacte dacte(ctx, cfg, saida);
    dacte.imprime(documento);
}

} // namespace qel

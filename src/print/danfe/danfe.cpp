#include "print/danfe/danfe.h"

#include "print/codigo_barras.h"
#include "print/codigo_qr.h"
#include "print/danfe/danfe_itens.h"
#include "print/danfe_nfce/texto_qr.h"
#include "print/impressao.h"
#include "util/arquivos.h"
#include "util/compactacao.h"
#include "util/erros.h"
#include "util/leitor_xml.h"
#include "util/numeros.h"
#include "util/posicoes.h"
#include "util/situacao.h"
#include "util/texto.h"

#include <QHash>
#include <QRegularExpression>
#include <array>
#include <cmath>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

const QString kPadraoWindows = u"Impressora Padrao do Windows"_s;
constexpr int kLinhasContinuacao = 80;
constexpr double kLarguraCodigo = 65;
constexpr double kLarguraDescricao = 205;
constexpr double kAlturaObservacoes = 87;
constexpr double kLarguraObservacoes = 366;

const std::array<const char16_t*, 15> kColunas{u"Codigo",   u"Descricao", u"NCM",         u"CST",
                                               u"CFOP",     u"UN",        u"Quantidade",  u"Unitario",
                                               u"Total",    u"Base_ICM",  u"Valor_ICM",   u"Valor_IPI",
                                               u"Perc_ICM", u"Perc_IPI",  u"Valor_ICM_ST"};

using Linha = std::array<QString, 15>;

double numero(const QString& texto) {
    try {
        return Texto_Decimal(texto);
    } catch (const std::exception&) {
        return 0;
    }
}

QString valor(const QString& mascara, const QString& texto) {
    return Formata_Valor(mascara, numero(texto));
}

// Values of the document as a person reads them: the XML escapes undone ("&amp;" is "&").
QString semEscapes(QString texto) {
    if (!texto.contains(u'&')) return texto;
    static const QRegularExpression numerica(u"&#(x?)([0-9A-Fa-f]+);"_s);
    QString saida;
    qsizetype de = 0;
    for (auto it = numerica.globalMatch(texto); it.hasNext();) {
        const auto m = it.next();
        saida += texto.mid(de, m.capturedStart() - de);
        bool ok = false;
        const uint codigo = m.captured(2).toUInt(&ok, m.captured(1).isEmpty() ? 10 : 16);
        saida += ok ? QString::fromUcs4(reinterpret_cast<const char32_t*>(&codigo), 1) : m.captured(0);
        de = m.capturedEnd();
    }
    saida += texto.mid(de);
    return saida.replace(u"&lt;"_s, u"<"_s)
        .replace(u"&gt;"_s, u">"_s)
        .replace(u"&quot;"_s, u"\""_s)
        .replace(u"&apos;"_s, u"'"_s)
        .replace(u"&amp;"_s, u"&"_s);
}

QString cep(const QString& texto) {
    return texto.size() > 3 ? texto.left(texto.size() - 3) + u'-' + texto.right(3) : texto;
}

void moveGrupo(Modelo& m, const QString& dica, double dy, bool soVisiveis = false) {
    for (Objeto& o : m.objetos())
        if (o.dica == dica && (!soVisiveis || o.visivel)) o.geometria.translate(0, dy);
}

// Memos and shapes of the group keep their top and lose height (the item area shrinks).
void encolheGrupo(Modelo& m, const QString& dica, double dh) {
    for (Objeto& o : m.objetos())
        if (o.dica == dica && (o.tipo == TipoObjeto::Memo || o.tipo == TipoObjeto::Forma))
            o.geometria.setHeight(o.geometria.height() - dh);
}

void mostraGrupo(Modelo& m, const QString& dica, bool visivel) {
    for (Objeto& o : m.objetos())
        if (o.dica == dica) o.visivel = visivel;
}

class Danfe {
public:
    Danfe(ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg, SaidaImpressao& saida,
          const RecarregaEmpresa& recarrega)
        : ctx_(ctx), cfg_(cfg), saida_(saida), recarrega_(recarrega),
          p1_(Modelo::carrega(u":/qel/print/danfe/NFE_01.json"_s)),
          p2_(Modelo::carrega(u":/qel/print/danfe/NFE_02.json"_s)) {}

    void imprime(const QString& documento);

private:
    QString busca(const QString& nome, const QString& grupo = {}, int indice = 0) const {
        return semEscapes(leitor_.Busca_Valor(nome, grupo, indice));
    }
    void emAmbas(const QString& nome, const QString& texto) {
        Preenche_Memo(p1_, nome, texto);
        Preenche_Memo(p2_, nome, texto);
    }
    // The DANFE printer of the settings; empty for the system's default printer.
    QString impressoraDanfe() const {
        return cfg_.ImpressoraNFe.trimmed() == kPadraoWindows ? QString() : cfg_.ImpressoraNFe.trimmed();
    }
    void cabecalho();
    void parcelas();
    void emitente();
    void destinatario();
    void entrega();
    void totais();
    void totaisIbsCbs();
    void transporte();
    void informacoesAdicionais();
    void qrCode();
    void crescimentoObservacoes();
    QList<Linha> linhasDosItens();
    void itensEPaginas();
    void saidaPagina(Modelo& pagina, int numeroPagina);
    void paginaMensagens(int ultimaPagina);
    void exporta(const Modelo& pagina, const QString& sufixo);
    void terminaPdf();
    void gravaPdf(const Relatorio& relatorio, const QString& arquivo);

    ContextoImpressao& ctx_;
    const ConfiguracaoEmpresa& cfg_;
    SaidaImpressao& saida_;
    const RecarregaEmpresa& recarrega_;
    Modelo p1_;
    Modelo p2_;
    LeitorXml leitor_{u"NFe"_s};
    QString documento_;
    QString modelo_;
    QString nNF_, serie_, protocolo_, nProt_;
    QString ufEmitente_, ieDestinatario_;
    QString textoVencimentos_ = u"Vencimentos"_s;
    QString foneCanhoto_, foneDestinatario_;
    QString identificacao_;
    QString transbordo_; // the additional information that goes to the message page
    bool interestadual_ = false;
    Relatorio pdfUnico_; // with a task PDF name, every page goes to one file
};

void Danfe::imprime(const QString& documento) {
    documento_ = documento;
    ctx_.tipo = TipoDocumento::NFe;
    leitor_.Carrega_XML(documento);
    ctx_.chave = busca(u"Chave de Acesso"_s);
    modelo_ = Copia(ctx_.chave, 21, 2);

    // Protocol and notice words: the last that applies wins.
    leitor_.Seleciona_Grupo(u"protNFe"_s);
    nProt_ = busca(u"nProt"_s);
    QString aviso;
    if (nProt_.trimmed().isEmpty()) {
        aviso = u"Não Transmitida"_s;
    } else {
        const QString recebido = busca(u"dhRecbto"_s);
        protocolo_ = nProt_ + u"  -  "_s + dataDoXml(recebido) + u"   -   "_s + horaDoXml(recebido);
        Preenche_Memo(p1_, u"Protocolo"_s, protocolo_);
        if (!documento.startsWith(u'<') && Situacao_Documento(caminhoNativo(documento)) == u"Cancelada"_s)
            aviso = u"Cancelado"_s;
    }
    static const QStringList denegados{u"205"_s, u"301"_s, u"302"_s, u"303"_s};
    if (denegados.contains(Ultimo_cStat(leitor_.linhas().join(QString())))) aviso = u"Denegada"_s;

    // Logo: only on the company's own documents.
    QString cnpjEmpresa = ctx_.cnpj;
    cnpjEmpresa.remove(u'.').remove(u'-').remove(u'/');
    const QString logo = caminhoNativo(cfg_.Logotipo);
    if (Copia(ctx_.chave, 7, 14) == cnpjEmpresa && !cfg_.Logotipo.trimmed().isEmpty() &&
        existeArquivo(logo)) {
        p1_.objeto(u"Logo"_s).carregaImagem(localizaCaminho(logo));
        p2_.objeto(u"Logo"_s).carregaImagem(localizaCaminho(logo));
    }
    const bool escondeLogo = cfg_.NaoUtilizarLogo && ctx_.tarefa.trimmed().toUpper() != u"GERAR PDF"_s;
    p1_.objeto(u"Logo"_s).visivel = !escondeLogo;
    p2_.objeto(u"Logo"_s).visivel = !escondeLogo;

    if (!ctx_.chave.trimmed().isEmpty()) {
        defineBarras(p1_.objeto(u"Barras"_s), ctx_.chave);
        defineBarras(p2_.objeto(u"Barras"_s), ctx_.chave);
    }
    Preenche_Memo(p1_, u"Chave"_s, chaveAgrupada(ctx_.chave));

    cabecalho();
    leitor_.Seleciona_Grupo(u"ide"_s);
    const QString tpEmis = busca(u"tpEmis"_s);
    // Every contingency form: FS, FS-DA, EPEC, SVC-AN, SVC-RS, offline NFC-e (NF-e manual, tpEmis).
    static const QStringList kContingencia{u"2"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s, u"9"_s};
    if (kContingencia.contains(tpEmis)) aviso = u"Contingencia"_s;
    Preenche_Memo(p1_, u"Aviso"_s, aviso);

    parcelas();
    emitente();
    destinatario();
    entrega();
    totais();
    totaisIbsCbs();
    transporte();
    informacoesAdicionais();
    qrCode();
    crescimentoObservacoes();
    if (modelo_ == u"65"_s)
        Preenche_Memo(p1_, u"MemoImposto"_s,
                      u"Cálculo do Imposto  /  NFC-e - Não permite aproveitamento de crédito de ICMS."_s);
    itensEPaginas();
}

void Danfe::cabecalho() {
    leitor_.Seleciona_Grupo(u"ide"_s);
    nNF_ = busca(u"nNF"_s);
    serie_ = busca(u"serie"_s);
    emAmbas(u"Nro1"_s, numeroDocumento(nNF_));
    emAmbas(u"Nro2"_s, numeroDocumento(nNF_));
    ctx_.prefixoPdf = u"C:\\Qel\\Danfe"_s + QString::number(static_cast<qint64>(numero(nNF_)));
    emAmbas(u"Modelo"_s, busca(u"mod"_s));
    if (modelo_ == u"65"_s) {
        emAmbas(u"TipoDoc"_s, u"NFC-e"_s);
        emAmbas(u"Danfe1"_s, u"DANFE NFC-e"_s);
        emAmbas(u"Danfe2"_s, u"Documento Auxiliar de Nota Fiscal| a Consumidor Eletronica"_s);
        Preenche_Memo(p1_, u"NomeChave"_s,
                      u"Chave de Acesso da NFC-e          Consulta em www.nfe.fazenda.gov.br"_s);
    }
    emAmbas(u"Serie1"_s, serie_);
    emAmbas(u"Serie2"_s, serie_);
    emAmbas(u"Ent_Sai"_s, busca(u"tpNF"_s));
    Preenche_Memo(p1_, u"Natureza"_s, busca(u"natOp"_s));
    if (busca(u"finNFe"_s) == u"4"_s) Preenche_Memo(p1_, u"DescricaoIPI"_s, u"Valor IPI Devolução"_s);

    QString emissao = busca(u"dhEmi"_s);
    if (emissao.isEmpty()) emissao = busca(u"dEmi"_s);
    Preenche_Memo(p1_, u"Data_Emissao"_s, dataDoXml(emissao));
    ctx_.resumo.emissao = dataDoXml(emissao) + u" - "_s + horaDoXml(emissao);
    if (cfg_.nfe_ImpEmissao) Preenche_Memo(p1_, u"Data_Recebimento"_s, dataDoXml(emissao));
    QString saida = busca(u"dhSaiEnt"_s);
    if (saida.isEmpty()) saida = busca(u"dSaiEnt"_s);
    if (!saida.isEmpty()) Preenche_Memo(p1_, u"Data_Saida"_s, dataDoXml(saida));
    Preenche_Memo(p1_, u"Hora_Saida"_s, busca(u"hSaiEnt"_s) + Copia(saida, 12, 8));
}

void Danfe::parcelas() {
    leitor_.Seleciona_Grupo(u"ide"_s);
    const int indPag = static_cast<int>(numero(busca(u"indPag"_s)));
    const QString versao = busca(u"Versao"_s);
    double crescimento = 0;
    if (indPag == 0 && versao != u"4.00"_s) {
        Preenche_Memo(p1_, u"PrazoD1"_s, u"A Vista"_s);
    } else if ((indPag == 1 || indPag == 2) || versao == u"4.00"_s) {
        leitor_.Seleciona_Grupo(u"cobr"_s);
        int k = 1;
        for (;; ++k) {
            const QString vencimento = busca(u"dVenc"_s, {}, k);
            if (vencimento.trimmed().isEmpty()) break;
            const int coluna = (k - 1) % 5 + 1;
            Objeto& v = p1_.objeto(u"PrazoV"_s + QString::number(coluna));
            Objeto& d = p1_.objeto(u"PrazoD"_s + QString::number(coluna));
            const QString textoValor = valor(u"####,##0.00"_s, busca(u"vDup"_s, {}, k)).trimmed();
            if (k <= 5) {
                v.defineTexto(textoValor);
                d.defineTexto(dataDoXml(vencimento));
            } else {
                v.acrescenta(textoValor);
                d.acrescenta(dataDoXml(vencimento));
            }
            textoVencimentos_ += u' ' + dataDoXml(vencimento);
        }
        if (k > 1) {
            Objeto& d1 = p1_.objeto(u"PrazoD1"_s);
            const double necessaria = d1.alturaTexto();
            crescimento = std::round(necessaria - d1.geometria.height());
            if (crescimento < 0) crescimento = 0;
            for (int c = 1; c <= 5; ++c) {
                p1_.objeto(u"PrazoD"_s + QString::number(c))
                    .geometria.setHeight(std::max(necessaria, d1.geometria.height()));
                p1_.objeto(u"PrazoV"_s + QString::number(c))
                    .geometria.setHeight(std::max(necessaria, d1.geometria.height()));
            }
        } else {
            leitor_.Seleciona_Grupo(u"pag"_s);
            const QString tPag = busca(u"tPag"_s);
            if (tPag == u"05"_s)
                Preenche_Memo(p1_, u"PrazoD1"_s, u"A Prazo"_s);
            else if (tPag != u"90"_s)
                Preenche_Memo(p1_, u"PrazoD1"_s, u"A Vista"_s);
        }
    }
    if (crescimento > 0) {
        Objeto& faixa = p1_.objeto(u"ShapePrazo"_s);
        faixa.geometria.setHeight(faixa.geometria.height() + crescimento);
        moveGrupo(p1_, u"Grupo1"_s, crescimento);
        for (Objeto& o : p1_.objetos())
            if (o.dica == u"Grupo2"_s && (o.tipo == TipoObjeto::Memo || o.tipo == TipoObjeto::Forma)) {
                o.geometria.translate(0, crescimento);
                o.geometria.setHeight(o.geometria.height() - crescimento);
            }
    }
}

void Danfe::emitente() {
    leitor_.Seleciona_Grupo(u"emit"_s);
    Preenche_Memo(p1_, u"Emp_IE"_s, busca(u"IE"_s));
    Preenche_Memo(p1_, u"Emp_IE_subst"_s, busca(u"IEST"_s));
    const QString cnpj = Formata_CNPJ(busca(u"CNPJ"_s));
    Preenche_Memo(p1_, u"Emp_CNPJ"_s, cnpj);
    ctx_.cnpj = cnpj;
    if (recarrega_) recarrega_(cnpj);
    leitor_.Seleciona_Grupo(u"emit"_s);
    const QString nome = busca(u"xNome"_s);
    const QString fone = busca(u"fone"_s);
    ctx_.resumo.emitenteNome = nome;
    ctx_.resumo.emitenteCidade = busca(u"xMun"_s);
    ctx_.resumo.emitenteFone = Formata_Fone(fone);
    ufEmitente_ = busca(u"UF"_s);
    QString dados = nome + u'|' + busca(u"xLgr"_s) + u", "_s + busca(u"nro"_s) + u'|' + busca(u"xBairro"_s) +
                    u'|' + busca(u"xMun"_s) + u" - "_s + ufEmitente_ + u" - CEP "_s + cep(busca(u"CEP"_s));
    if (!fone.trimmed().isEmpty()) dados += u"|Fone "_s + Formata_Fone(fone);
    emAmbas(u"Dados_empresa"_s, dados);
    emAmbas(u"Txt_Recebimento"_s,
            u"Recebemos de "_s + nome +
                u" os produtos ou serviços constantes na nota fiscal eletrônica indicada ao lado."_s);
}

void Danfe::destinatario() {
    leitor_.Seleciona_Grupo(u"dest"_s);
    const QString nome = busca(u"xNome"_s);
    Preenche_Memo(p1_, u"Dest_Nome"_s, nome);
    ctx_.resumo.destinatarioNome = nome;
    const QString documento = Formata_CNPJ(busca(u"CPF"_s) + busca(u"CNPJ"_s));
    Preenche_Memo(p1_, u"Dest_CNPJ_CPF"_s, documento);
    ctx_.resumo.destinatarioDocumento = documento;
    const QString ie = busca(u"IE"_s);
    Preenche_Memo(p1_, u"Dest_IE"_s, ie);
    ieDestinatario_ = Somente_Numeros(ie, u"N"_s, 0);
    const QString pais = busca(u"xPais"_s);
    const bool exterior = !pais.isEmpty() && pais.toUpper() != u"BRASIL"_s;
    QString endereco = busca(u"xLgr"_s) + u", "_s + busca(u"nro"_s);
    if (exterior) endereco += u" ( "_s + pais + u" )"_s;
    Preenche_Memo(p1_, u"Dest_endereco"_s, endereco);
    Preenche_Memo(p1_, u"Dest_Bairro"_s, busca(u"xBairro"_s));
    Preenche_Memo(p1_, u"Dest_CEP"_s, cep(busca(u"CEP"_s)));
    const QString municipio = busca(u"xMun"_s);
    Preenche_Memo(p1_, u"Dest_Municipio"_s, municipio);
    ctx_.resumo.destinatarioCidade = municipio;
    const QString uf = busca(u"UF"_s);
    Preenche_Memo(p1_, u"Dest_UF"_s, uf);
    interestadual_ = uf != ufEmitente_ || exterior;
    const QString fone = busca(u"fone"_s);
    if (!fone.trimmed().isEmpty()) {
        foneDestinatario_ = fone;
        Preenche_Memo(p1_, u"Dest_Fone"_s, Formata_Fone(fone));
        foneCanhoto_ = u"(Fone "_s + fone + u')';
    }
    identificacao_ = cfg_.NFe_ImpNome ? nome : QString();
}

void Danfe::entrega() {
    leitor_.Seleciona_Grupo(u"entrega"_s);
    if (busca(u"xLgr"_s).trimmed().isEmpty()) {
        mostraGrupo(p1_, u"Grupo3"_s, false);
        return;
    }
    Preenche_Memo(p1_, u"Entrega_CNPJ_CPF"_s, Formata_CNPJ(busca(u"CPF"_s) + busca(u"CNPJ"_s)));
    Preenche_Memo(p1_, u"Entrega_Nome"_s, busca(u"xNome"_s));
    Preenche_Memo(p1_, u"Entrega_Endereco"_s, busca(u"xLgr"_s) + u", "_s + busca(u"nro"_s));
    Preenche_Memo(p1_, u"Entrega_Bairro"_s, busca(u"xBairro"_s));
    Preenche_Memo(p1_, u"Entrega_Municipio"_s, busca(u"xMun"_s));
    Preenche_Memo(p1_, u"Entrega_UF"_s, busca(u"UF"_s));
    encolheGrupo(p1_, u"Grupo2"_s, 64.25);
    mostraGrupo(p1_, u"Grupo3"_s, true);
}

void Danfe::totais() {
    leitor_.Seleciona_Grupo(u"ICMSTot"_s);
    const QString m = u"###,###,##0.00"_s;
    const auto soma = [&](const char16_t* a, const char16_t* b) {
        return Formata_Valor(m, numero(busca(QString::fromUtf16(a))) + numero(busca(QString::fromUtf16(b))));
    };
    Preenche_Memo(p1_, u"Tot_Base_ICM"_s, valor(m, busca(u"vBC"_s)));
    Preenche_Memo(p1_, u"Tot_Valor_ICM"_s, valor(m, busca(u"vICMS"_s)));
    Preenche_Memo(p1_, u"Tot_Base_ICM_ST"_s, valor(m, busca(u"vBCST"_s)));
    Preenche_Memo(p1_, u"Tot_Valor_ICM_ST"_s, soma(u"vST", u"vFCPST"));
    Preenche_Memo(p1_, u"Tot_Produtos"_s, valor(m, busca(u"vProd"_s)));
    Preenche_Memo(p1_, u"Tot_Frete"_s, valor(m, busca(u"vFrete"_s)));
    Preenche_Memo(p1_, u"Tot_Seguro"_s, valor(m, busca(u"vSeg"_s)));
    Preenche_Memo(p1_, u"Tot_Desconto"_s, valor(m, busca(u"vDesc"_s)));
    Preenche_Memo(p1_, u"Tot_Despesa"_s, valor(m, busca(u"vOutro"_s)));
    Preenche_Memo(p1_, u"Tot_IPI"_s, soma(u"vIPI", u"vIPIDevol"));
    const QString total = valor(m, busca(u"vNF"_s));
    Preenche_Memo(p1_, u"Tot_Total"_s, total);
    if (!cfg_.NFe_ImpVencimento) {
        const QString vencimentos = textoVencimentos_ == u"Vencimentos"_s ? QString() : textoVencimentos_;
        Preenche_Memo(p1_, u"Identificacao2"_s,
                      (vencimentos.isEmpty() ? QString() : vencimentos + u" - "_s) + u"Total "_s +
                          total.trimmed() + u"|Produtos "_s + valor(m, busca(u"vProd"_s)).trimmed());
    }
}

// The IBS and CBS totals (NT 2025.002, group IBSCBSTot of total, and vNFTot). The note gives the
// DANFE no place for them, so they take a third row of the tax block, only on a document that
// has them: what lies below the block moves down by the row and the item area gives it up.
void Danfe::totaisIbsCbs() {
    if (!leitor_.Seleciona_Grupo(u"IBSCBSTot"_s)) return;
    const QString m = u"###,###,##0.00"_s;
    Preenche_Memo(p1_, u"IBSCBS_Base"_s, valor(m, busca(u"vBCIBSCBS"_s)));
    Preenche_Memo(p1_, u"IBSCBS_IBS_UF"_s, valor(m, busca(u"vIBSUF"_s)));
    Preenche_Memo(p1_, u"IBSCBS_IBS_Mun"_s, valor(m, busca(u"vIBSMun"_s)));
    Preenche_Memo(p1_, u"IBSCBS_IBS"_s, valor(m, busca(u"vIBS"_s)));
    Preenche_Memo(p1_, u"IBSCBS_CBS"_s, valor(m, busca(u"vCBS"_s)));
    leitor_.Seleciona_Grupo(u"total"_s);
    const QString vNFTot = busca(u"vNFTot"_s);
    Preenche_Memo(p1_, u"IBSCBS_Total"_s, vNFTot.trimmed().isEmpty() ? QString() : valor(m, vNFTot));

    const double linha = p1_.objeto(u"IBSCBS_Box_Base"_s).geometria.height();
    const double limite = p1_.objeto(u"Box_Tot_Total"_s).geometria.bottom() - 0.01;
    for (Objeto& o : p1_.objetos()) {
        if (o.nome.startsWith(u"IBSCBS_"_s))
            o.visivel = true;
        else if (o.dica == u"Grupo1"_s && o.geometria.top() >= limite)
            o.geometria.translate(0, linha);
        else if (o.dica == u"Grupo2"_s && (o.tipo == TipoObjeto::Memo || o.tipo == TipoObjeto::Forma)) {
            o.geometria.translate(0, linha);
            o.geometria.setHeight(o.geometria.height() - linha);
        }
    }
}

void Danfe::transporte() {
    leitor_.Seleciona_Grupo(u"transp"_s);
    static const QHash<QString, QString> fretes{{u"0"_s, u"0 Emitente"_s},     {u"1"_s, u"1 Destinatário"_s},
                                                {u"2"_s, u"2 Terceiros"_s},    {u"3"_s, u"3 Proprio Rem"_s},
                                                {u"4"_s, u"4 Proprio Dest"_s}, {u"9"_s, u"9 Sem Frete"_s}};
    Preenche_Memo(p1_, u"Frete"_s, fretes.value(busca(u"modFrete"_s)));
    Preenche_Memo(p1_, u"Transp_Nome"_s, busca(u"xNome"_s));
    Preenche_Memo(p1_, u"ANTT"_s, busca(u"RNTC"_s, u"veicTransp"_s));
    const QString placa = busca(u"placa"_s, u"veicTransp"_s);
    Preenche_Memo(p1_, u"Placa"_s, placa + u"  "_s + busca(u"placa"_s, u"reboque"_s));
    Preenche_Memo(p1_, u"Transp_CNPJ_CPF"_s, busca(u"CPF"_s) + busca(u"CNPJ"_s));
    Preenche_Memo(p1_, u"Transp_Endereco"_s, busca(u"xEnder"_s));
    Preenche_Memo(p1_, u"Transp_Municipio"_s, busca(u"xMun"_s));
    Preenche_Memo(p1_, u"Transp_UF"_s, busca(u"UF"_s));
    Preenche_Memo(p1_, u"Transp_IE"_s, busca(u"IE"_s));
    Preenche_Memo(p1_, u"Volumes"_s, busca(u"qVol"_s));
    Preenche_Memo(p1_, u"Especie"_s, busca(u"esp"_s));
    Preenche_Memo(p1_, u"Marca"_s, busca(u"marca"_s));
    Preenche_Memo(p1_, u"Peso_B"_s, valor(u"###,##0.00"_s, busca(u"pesoB"_s)));
    Preenche_Memo(p1_, u"Peso_L"_s, valor(u"###,##0.00"_s, busca(u"pesoL"_s)));
    if (interestadual_ && placa.trimmed().isEmpty()) {
        Preenche_Memo(p1_, u"Shape_Antt"_s, QString());
        Preenche_Memo(p1_, u"Shape_Placa"_s, QString());
    }
}

void Danfe::informacoesAdicionais() {
    leitor_.Seleciona_Grupo(u"infAdic"_s);
    const QString complementar = Desfaz_Entidades(busca(u"infCpl"_s));
    const QString fisco = Desfaz_Entidades(busca(u"infAdFisco"_s));
    QStringList observacoes;
    const auto entre = [](const QString& linha, qsizetype inicio) {
        const qsizetype fecha = linha.indexOf(u')', inicio);
        return linha.mid(inicio, fecha < 0 ? -1 : fecha - inicio);
    };
    for (const QString& linha : Quebra_Texto(p1_, complementar, kLarguraObservacoes, 0, 8)) {
        if (linha.startsWith(u"Dst.Fantasia ("_s)) {
            identificacao_ += u' ' + entre(linha, 14);
        } else if (linha.startsWith(u"RNTRC ("_s)) {
            Preenche_Memo(p1_, u"ANTT"_s, Copia(linha, 8, 8));
        } else if (linha.startsWith(u"Inf.Vnc."_s) && Copia(linha, 11, 2) == u" ("_s) {
            const int coluna = Copia(linha, 9, 2).toInt();
            // A column the strip does not have: the line is printed as an observation.
            if (coluna >= 1 && coluna <= 5)
                Preenche_Memo(p1_, u"PrazoD"_s + QString::number(coluna), entre(linha, 12));
            else
                observacoes.append(linha);
        } else if (linha.startsWith(u"Fone Adicional ("_s)) {
            foneDestinatario_ = Somente_Numeros(foneDestinatario_, u"N"_s, 0) + u" / "_s + entre(linha, 16);
            Preenche_Memo(p1_, u"Dest_Fone"_s, foneDestinatario_);
        } else if (linha.startsWith(u"Dst.Codigo ("_s)) {
            identificacao_ += p1_.objeto(u"Dest_Nome"_s).texto() + u" ("_s + entre(linha, 12) + u')';
        } else if (!linha.trimmed().isEmpty() || !complementar.isEmpty()) {
            observacoes.append(linha);
        }
    }
    if (!cfg_.NFe_ImpFantasia)
        Preenche_Memo(p1_, u"Identificacao"_s, (identificacao_ + u' ' + foneCanhoto_).trimmed());
    if (!fisco.trimmed().isEmpty())
        for (const QString& linha : Quebra_Texto(p1_, fisco, kLarguraObservacoes, 0, 8))
            observacoes.append(linha);
    while (!observacoes.isEmpty() && observacoes.last().trimmed().isEmpty())
        observacoes.removeLast();
    if (observacoes.size() <= 25) {
        p1_.objeto(u"Observacoes"_s).linhas = observacoes;
    } else {
        Preenche_Memo(p1_, u"Observacoes"_s, u"AVISO: Mensagens em Folha adicional"_s);
        transbordo_ = u"<xml><Numero>"_s + numeroDocumento(nNF_) + u"</Numero><Serie>"_s + serie_ +
                      u"</Serie><Modelo>"_s + modelo_ + u"</Modelo><Chave>"_s + ctx_.chave +
                      u"</Chave><Protocolo>"_s + protocolo_ + u"</Protocolo><Mensagem>"_s +
                      observacoes.join(u'|') + u"</Mensagem></xml>"_s;
    }
}

void Danfe::qrCode() {
    if (modelo_ != u"65"_s) {
        p1_.objeto(u"QR"_s).visivel = false;
        p2_.objeto(u"QR"_s).visivel = false;
        return;
    }
    const QString texto = textoQrNfce(leitor_, ctx_.chave, ctx_.consultaNfce);
    const Simbolo qr = simboloQr(texto);
    for (Modelo* m : {&p1_, &p2_}) {
        m->objeto(u"Shape_Barras"_s).visivel = false;
        m->objeto(u"Barras"_s).limpaFigura();
        m->objeto(u"QR"_s).defineSimbolo(qr);
        m->objeto(u"QR"_s).visivel = true;
    }
}

void Danfe::crescimentoObservacoes() {
    Objeto& obs = p1_.objeto(u"Observacoes"_s);
    const double necessaria = obs.alturaTexto();
    if (necessaria <= kAlturaObservacoes) return;
    const double g = std::round(necessaria - obs.geometria.height());
    if (g <= 0) return;
    obs.geometria.setHeight(necessaria);
    for (const char16_t* nome : {u"ShapeFisco", u"ShapeObs"}) {
        Objeto& s = p1_.objeto(QString::fromUtf16(nome));
        s.geometria.setHeight(s.geometria.height() + g);
    }
    for (Objeto& o : p1_.objetos()) {
        const bool memoOuForma = o.tipo == TipoObjeto::Memo || o.tipo == TipoObjeto::Forma;
        if (o.dica == u"Grupo2"_s && memoOuForma)
            o.geometria.setHeight(o.geometria.height() - g);
        else if (o.dica == u"Grupo3"_s && o.visivel)
            o.geometria.translate(0, -g);
        else if (o.dica == u"Grupo4"_s) {
            o.geometria.translate(0, -g);
            if (modelo_ == u"65"_s) o.visivel = false;
        } else if (o.dica == u"Grupo5"_s && memoOuForma)
            o.geometria.translate(0, -g);
    }
}

// One row per item, and one more per further line of a wrapped description. The document is
// cut into its items once, so the search is linear in the number of items.
QList<Linha> Danfe::linhasDosItens() {
    QList<std::pair<int, QString>> itens;
    const QStringList& linhas = leitor_.linhas();
    for (qsizetype i = 0; i < linhas.size(); ++i) {
        const QString linha = linhas.at(i).trimmed();
        if (!linha.startsWith(u"<det "_s, Qt::CaseInsensitive)) continue;
        const qsizetype a = linha.indexOf(u"nItem=\""_s, 0, Qt::CaseInsensitive);
        if (a < 0) continue;
        const int n = linha.mid(a + 7, linha.indexOf(u'"', a + 7) - a - 7).toInt();
        QString texto;
        qsizetype j = i;
        for (; j < linhas.size(); ++j) {
            texto += linhas.at(j).trimmed();
            if (linhas.at(j).trimmed().compare(u"</det>"_s, Qt::CaseInsensitive) == 0) break;
        }
        if (n >= 1 && n <= 1000) itens.append({n, texto});
        i = j;
    }
    std::stable_sort(itens.begin(), itens.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    QList<Linha> resultado;
    for (const auto& [n, texto] : itens) {
        LeitorXml item;
        item.Carrega_XML(texto);
        item.Seleciona_Grupo(u"det nItem=\""_s + QString::number(n) + u'"');
        const auto v = [&](const char16_t* nome, const QString& grupo = {}) {
            return semEscapes(item.Busca_Valor(QString::fromUtf16(nome), grupo));
        };
        Linha l;
        l[0] = v(u"cProd");
        QString nota = v(u"infAdProd").trimmed();
        if (nota.startsWith(u"Prd."_s)) {
            const qsizetype barra = nota.indexOf(u'|');
            l[0] = barra < 0 ? nota.mid(4) : nota.mid(4, barra - 4);
            nota = barra < 0 ? QString() : nota.mid(barra + 1);
        }
        const QString ean = v(u"cEAN");
        if (!cfg_.nfe_impEan && !ean.trimmed().isEmpty() && ean != u"SEM GTIN"_s) l[0] = ean;
        l[1] = v(u"xProd") + (nota.trimmed().isEmpty() ? QString() : u'|' + nota);
        if (numero(v(u"vBCSTRet")) != 0 && !ieDestinatario_.isEmpty())
            l[1] += u"|Bc.ICMS ST: "_s + valor(u"#####,##0.00"_s, v(u"vBCSTRet")).trimmed() +
                    u" - Vlr.ICMS ST: "_s + valor(u"#####,##0.00"_s, v(u"vICMSSTRet")).trimmed();
        l[2] = v(u"NCM");
        l[3] = v(u"orig") + (v(u"CSOSN").trimmed().isEmpty() ? v(u"CST") : v(u"CSOSN"));
        l[4] = v(u"CFOP");
        l[5] = v(u"uCom").left(2);
        l[6] = v(u"qCom");
        l[7] = v(u"vUnCom");
        l[8] = v(u"vProd");
        l[9] = v(u"vBC", u"ICMS"_s);
        l[10] = v(u"vICMS");
        l[11] = numero(v(u"vIPI")) != 0 ? v(u"vIPI") : v(u"vIPIDevol");
        l[12] = v(u"pICMS");
        l[13] = v(u"pIPI");
        l[14] = QString::number(numero(v(u"vICMSST")) + numero(v(u"vFCPST")), 'f', 2);
        resultado.append(l);
    }
    return resultado;
}

void Danfe::itensEPaginas() {
    QList<Linha> linhas = linhasDosItens();
    const QString tipoCst = !linhas.isEmpty() && linhas.first()[3].size() == 3 ? u"CST"_s : u"CSOSN"_s;
    Preenche_Memo(p1_, u"TipoCST"_s, tipoCst);
    Preenche_Memo(p2_, u"TipoCST"_s, tipoCst);

    // The code column widens for the widest code, on the first page.
    Objeto medidor = p1_.objeto(u"Teste7"_s);
    double maior = 0;
    for (const Linha& l : linhas) {
        medidor.defineTexto(l[0]);
        maior = std::max(maior, medidor.larguraTexto());
    }
    const double e = maior > kLarguraCodigo ? maior - kLarguraCodigo : 0;
    if (e > 0) {
        for (const char16_t* nome : {u"Codigo", u"ShapeCodigo", u"NomeCodigo", u"ShapeNomeCodigo"}) {
            Objeto& o = p1_.objeto(QString::fromUtf16(nome));
            o.geometria.setWidth(o.geometria.width() + e);
        }
        for (const char16_t* nome :
             {u"Descricao", u"ShapeDescricao", u"NomeDescricao", u"ShapeNomeDescricao"}) {
            Objeto& o = p1_.objeto(QString::fromUtf16(nome));
            o.geometria.setWidth(o.geometria.width() - e);
            o.geometria.translate(e, 0);
        }
    }

    // How many rows the first page holds.
    Objeto& codigo = p1_.objeto(u"Codigo"_s);
    codigo.limpa();
    int capacidade = 0;
    const QString amostra = linhas.isEmpty() ? u"0"_s : linhas.first()[0];
    while (capacidade < 1000) {
        codigo.acrescenta(amostra);
        if (codigo.alturaTexto() > codigo.geometria.height()) break;
        ++capacidade;
    }
    codigo.limpa();

    // Wrapped descriptions: continuation rows, unless descriptions print on one line.
    for (qsizetype j = 0; j < linhas.size(); ++j) {
        const QStringList partes = Quebra_Texto(p1_, linhas[j][1], std::round(kLarguraDescricao - e), 0, 7);
        if (partes.size() <= 1) continue;
        linhas[j][1] = partes.first();
        if (cfg_.NFe_Descricao) continue;
        for (qsizetype k = 1; k < partes.size(); ++k) {
            Linha continuacao;
            continuacao[1] = partes.at(k);
            linhas.insert(j + k, continuacao);
        }
    }

    const int paginas = numeroPaginas(static_cast<int>(linhas.size()), capacidade, kLinhasContinuacao);
    Preenche_Memo(p1_, u"Paginas"_s, u"Pagina 1 de "_s + QString::number(paginas));

    for (const char16_t* coluna : kColunas)
        p1_.objeto(QString::fromUtf16(coluna)).limpa();
    int pagina = 1;
    Modelo* atual = &p1_;
    qsizetype quebra = capacidade;
    for (qsizetype j = 0; j < linhas.size(); ++j) {
        if (j == quebra) {
            saidaPagina(*atual, pagina);
            ++pagina;
            atual = &p2_;
            for (const char16_t* coluna : kColunas)
                p2_.objeto(QString::fromUtf16(coluna)).limpa();
            Preenche_Memo(p2_, u"Paginas"_s,
                          u"Pagina "_s + QString::number(pagina) + u" de "_s + QString::number(paginas));
            quebra += kLinhasContinuacao;
        }
        const Linha& l = linhas.at(j);
        const bool continuacao = l[0].isEmpty() && l[2].isEmpty() && l[8].isEmpty();
        std::array<QString, 15> texto;
        texto[1] = l[1];
        if (!continuacao) {
            texto[0] = l[0];
            texto[2] = l[2];
            texto[3] = l[3];
            texto[4] = l[4];
            texto[5] = l[5];
            texto[6] = valor(mascaraAdaptativa(u"##0.0000"_s, numero(l[6])), l[6]);
            texto[7] = valor(mascaraAdaptativa(u"####0.0000"_s, numero(l[7])), l[7]);
            texto[8] = valor(u"Z######0.00"_s, l[8]);
            texto[9] = valor(u"Z####0.00"_s, l[9]);
            texto[10] = valor(u"Z###0.00"_s, l[10]);
            texto[11] = valor(u"Z###0.00"_s, l[11]);
            texto[12] = valor(u"##.#"_s, l[12]);
            texto[13] = valor(u"##.##"_s, l[13]);
            texto[14] = valor(u"Z###0.00"_s, l[14]);
        }
        for (std::size_t c = 0; c < kColunas.size(); ++c)
            atual->objeto(QString::fromUtf16(kColunas.at(c))).acrescenta(texto.at(c));
    }
    saidaPagina(*atual, pagina);
    if (!transbordo_.isEmpty()) paginaMensagens(pagina);
    terminaPdf();
}

void Danfe::saidaPagina(Modelo& pagina, int numeroPagina) {
    Afina_Molduras(pagina);
    Relatorio relatorio;
    relatorio.adicionaPagina(pagina);
    const QString impressora = impressoraDanfe();
    const QString tarefa = ctx_.tarefa.trimmed().toUpper();
    if (tarefa == u"IMPRIMIR"_s) {
        saida_.visualiza(relatorio, impressora, false);
        return;
    }
    if (tarefa != u"GERAR PDF"_s && Deve_Imprimir(ctx_.tarefa, ctx_.tipo, cfg_, ctx_.nomeBase)) {
        const int copias = static_cast<int>(numeroConfiguracao(cfg_.NFe_Copias));
        if (copias > 0 && !nProt_.trimmed().isEmpty()) {
            // A printer that is gone stops the task: the user must know the copies were not made.
            if (!saida_.imprime(relatorio, impressora, copias))
                throw ErroInesperado(u"Não foi possível imprimir na impressora "_s +
                                     (impressora.isEmpty() ? u"padrão"_s : impressora));
        } else {
            saida_.visualiza(relatorio, impressora, true);
        }
    }
    if ((cfg_.Sem_Email_Auto && tarefa != u"GERAR PDF"_s) || ctx_.nomeBase.trimmed().isEmpty()) return;
    Modelo paraPdf = pagina;
    paraPdf.objeto(u"Logo"_s).visivel = true;
    exporta(paraPdf, QString::number(numeroPagina));
}

void Danfe::paginaMensagens(int ultimaPagina) {
    Modelo m = Modelo::carrega(u":/qel/print/danfe/Mensagens.json"_s);
    const QStringList& empresa = ctx_.dadosEmpresa;
    if (!empresa.value(0).trimmed().isEmpty()) {
        Preenche_Memo(m, u"Dados_empresa"_s,
                      empresa.value(0) + u'|' + empresa.value(1) + u'|' + empresa.value(6) + u'|' +
                          empresa.value(2) + u"|CNPJ "_s + Formata_CNPJ(ctx_.cnpj) + u'|' +
                          Formata_Fone(empresa.value(3)));
        Preenche_Memo(m, u"CNPJ"_s, Formata_CNPJ(ctx_.cnpj));
    }
    LeitorXml xml;
    xml.Carrega_XML(transbordo_);
    xml.Seleciona_Grupo(u"xml"_s);
    Preenche_Memo(m, u"Nro"_s, xml.Busca_Valor(u"Numero"_s));
    for (const char16_t* nome : {u"Serie", u"Modelo", u"Chave", u"Protocolo"})
        Preenche_Memo(m, QString::fromUtf16(nome), xml.Busca_Valor(QString::fromUtf16(nome)));
    Preenche_Memo(m, u"Texto"_s, xml.Busca_Valor(u"Mensagem"_s));
    Afina_Molduras(m);
    Relatorio relatorio;
    relatorio.adicionaPagina(m);
    const QString tarefa = ctx_.tarefa.trimmed().toUpper();
    if (tarefa == u"IMPRIMIR"_s) {
        saida_.visualiza(relatorio, impressoraDanfe(), false);
        return;
    }
    if (tarefa != u"GERAR PDF"_s && Deve_Imprimir(ctx_.tarefa, ctx_.tipo, cfg_, ctx_.nomeBase))
        saida_.visualiza(relatorio, impressoraDanfe(), true);
    if ((cfg_.Sem_Email_Auto && tarefa != u"GERAR PDF"_s) || ctx_.nomeBase.trimmed().isEmpty()) return;
    exporta(m, QString::number(ultimaPagina + 1));
}

// With a task PDF name every page goes into that one file (written at the end); otherwise each
// page is its own file, prefix-page.PDF.
void Danfe::exporta(const Modelo& pagina, const QString& sufixo) {
    if (!ctx_.nomePdfTarefa.trimmed().isEmpty()) {
        pdfUnico_.adicionaPagina(pagina);
        return;
    }
    Relatorio relatorio;
    relatorio.adicionaPagina(pagina);
    gravaPdf(relatorio, arquivoPdf(QString(), ctx_.prefixoPdf, sufixo));
}

void Danfe::terminaPdf() {
    if (pdfUnico_.paginas() > 0)
        gravaPdf(pdfUnico_, arquivoPdf(ctx_.nomePdfTarefa, ctx_.prefixoPdf, QString()));
}

void Danfe::gravaPdf(const Relatorio& relatorio, const QString& arquivo) {
    Prepara_Pasta(arquivo, u"N"_s);
    const InformacaoPdf info{u"DANFE "_s + nNF_, u"Qel DFe"_s, u"DANFE da NF-e "_s + ctx_.chave,
                             u"Qel DFe"_s,       u"Qel DFe"_s, ctx_.criacao};
    if (!relatorio.exportaPdf(localizaCaminho(arquivo), info))
        throw ErroInesperado(u"Não foi possível gravar o PDF "_s + arquivo);
    ctx_.pdfsGerados.append(arquivo);
}

} // namespace

void imprimeDanfe(const QString& documento, ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg,
                  SaidaImpressao& saida, const RecarregaEmpresa& recarrega) {
    if (documento.trimmed().isEmpty()) return;
    Danfe danfe(ctx, cfg, saida, recarrega);
    danfe.imprime(documento);
}

} // namespace qel

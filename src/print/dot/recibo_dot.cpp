#include "print/dot/recibo_dot.h"

#include "config/configuracao_empresa.h"
#include "print/codigo_barras.h"
#include "print/impressao.h"
#include "util/arquivos.h"
#include "util/erros.h"
#include "util/leitor_xml.h"
#include "util/numeros.h"
#include "util/texto.h"

#include <QPainter>
#include <QPainterPath>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

const QString kMarcaTag = u"(Qel) TAG"_s;
constexpr int kDocumentosMaximo = 20;
constexpr int kDocumentosPrimeiraColuna = 9;
constexpr int kParcelasMaximo = 10;

QString dinheiro(double valor) {
    return Formata_Valor(u"###,##0.00"_s, valor);
}

// The agency's mark beside its name: the initials in a rounded frame, drawn here (black on white,
// so it prints sharp on any printer).
QImage marcaAgencia() {
    QImage imagem(240, 240, QImage::Format_RGB32);
    imagem.fill(Qt::white);
    QPainter p(&imagem);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath moldura;
    moldura.addRoundedRect(QRectF(12, 12, 216, 216), 36, 36);
    p.fillPath(moldura, Qt::black);
    p.setPen(Qt::white);
    QFont fonte(u"Liberation Sans"_s);
    fonte.setBold(true);
    fonte.setPixelSize(70);
    p.setFont(fonte);
    p.drawText(QRectF(12, 12, 216, 216), Qt::AlignCenter, u"ANTT"_s);
    return imagem;
}

class Recibo {
public:
    Recibo(ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg, SaidaImpressao& saida)
        : ctx_(ctx), cfg_(cfg), saida_(saida), m_(Modelo::carrega(u":/qel/print/dot/NDDCiot.json"_s)) {}

    bool imprime(const QString& documento);

private:
    QString busca(const QString& nome, const QString& grupo = {}, int indice = 0) const {
        return textoDoXml(leitor_.Busca_Valor(nome, grupo, indice));
    }
    void define(const QString& objeto, const QString& valor) { Preenche_Memo(m_, objeto, valor); }
    double numero(const QString& nome) const { return Texto_Decimal(busca(nome)); }
    void cabecalho();
    void partes();
    void documentos();
    void valores();
    void parcelas();
    void pedagioEAdicionais();
    void saida();

    ContextoImpressao& ctx_;
    const ConfiguracaoEmpresa& cfg_;
    SaidaImpressao& saida_;
    Modelo m_;
    LeitorXml leitor_;
};

void Recibo::cabecalho() {
    // The company logo of the settings. Unlike the fiscal documents, the receipt's company is
    // not compared with the task's: the contracting company is the one that registered it.
    leitor_.Seleciona_Grupo(u"ciotProc"_s);
    const QString logo = caminhoNativo(cfg_.Logotipo);
    if (!Limpa_Documento(busca(u"CNPJ"_s)).trimmed().isEmpty() && !cfg_.Logotipo.trimmed().isEmpty() &&
        existeArquivo(logo))
        m_.objeto(u"Logo"_s).carregaImagem(localizaCaminho(logo));
    m_.objeto(u"LogoANTT"_s).imagem = marcaAgencia();

    leitor_.Seleciona_Grupo(u"autorizacao"_s);
    const QString ciot = busca(u"numero"_s, u"ciot"_s).trimmed();
    define(u"Ciot"_s, ciot + u'/' + busca(u"ciotCodVerificador"_s));
    define(u"Data_Emissao"_s, busca(u"dataEmissao"_s));
    Objeto& barras = m_.objeto(u"Barras"_s);
    barras.limpaFigura();
    defineBarras(barras, ciot);
}

void Recibo::partes() {
    const QString empresa = ctx_.dadosEmpresa.value(0);
    leitor_.Seleciona_Grupo(u"ide"_s);
    define(u"Serie"_s, busca(u"serie"_s));
    define(u"Numero"_s, busca(u"numero"_s));
    define(u"Nome_Contratante"_s, empresa);
    define(u"Responsavel_Pagamento"_s, empresa);
    define(u"CNPJ_Contratante"_s, busca(u"cnpj"_s));
    define(u"CNPJ_Responsavel"_s, busca(u"cnpj"_s));
    define(u"Data_Inicio"_s, busca(u"dtInicio"_s));
    // The stored operation carries no end date; the box stays empty.
    define(u"Data_Termino"_s, QString());
    define(u"Tipo_Viagem"_s, u"Padrao"_s);

    leitor_.Seleciona_Grupo(u"transp"_s);
    QString categoria = busca(u"categoriaPedagio"_s);
    // A layout that gives the category with the route rather than the carrier is read too.
    if (categoria.trimmed().isEmpty()) categoria = textoDoXml(leitor_.Busca_Valor(u"*categoriaPedagio"_s));
    if (!categoria.trimmed().isEmpty()) define(u"Ped_Categoria"_s, categoriaPedagio(categoria));
    const QString razao = busca(u"razaoSocial"_s);
    define(u"Nome_Contratado"_s, razao.trimmed().isEmpty() ? busca(u"nomeCompleto"_s) : razao);
    define(u"Doc_Contratado"_s, busca(u"cnpjTransportador"_s) + busca(u"cpfTransportador"_s));
    define(u"RNTRC_Contratado"_s, busca(u"rntrc"_s));
    define(u"Gestora_Cartao"_s, busca(u"gestoraCartao"_s));

    leitor_.Seleciona_Grupo(u"condutor"_s);
    define(u"Nome_Condutor"_s, busca(u"nomeCompleto"_s));
    define(u"CPF_Condutor"_s, busca(u"cpf"_s));
    define(u"RNTRC_Condutor"_s, busca(u"RNTRCTransportador"_s));
    leitor_.Seleciona_Grupo(u"veiculos"_s);
    define(u"Placa"_s, busca(u"placa"_s));
}

// Documents 1 to 9 in the left column, 10 to 20 in the right one.
void Recibo::documentos() {
    leitor_.Seleciona_Grupo(u"documentosOriginarios"_s);
    QStringList tipos;
    QStringList numeros;
    for (int i = 1; i <= kDocumentosMaximo; ++i) {
        const QString tipo = busca(u"tipo"_s, {}, i);
        if (tipo.trimmed().isEmpty()) break;
        tipos.append(tipo);
        numeros.append(busca(u"numero"_s, {}, i));
    }
    if (tipos.isEmpty()) return;
    define(u"Doc_Tipos1"_s, tipos.mid(0, kDocumentosPrimeiraColuna).join(u'|'));
    define(u"Doc_Numeros1"_s, numeros.mid(0, kDocumentosPrimeiraColuna).join(u'|'));
    if (tipos.size() <= kDocumentosPrimeiraColuna) return;
    define(u"Doc_Tipos2"_s, tipos.mid(kDocumentosPrimeiraColuna).join(u'|'));
    define(u"Doc_Numeros2"_s, numeros.mid(kDocumentosPrimeiraColuna).join(u'|'));
}

void Recibo::valores() {
    leitor_.Seleciona_Grupo(u"valores"_s);
    const double frete = numero(u"vlrFrete"_s);
    const double combustivel = numero(u"vlrCombustivel"_s);
    const double despesas = numero(u"vlrDespesas"_s);
    const double tarifas = numero(u"valorTotal"_s);
    const double irrf = numero(u"irrf"_s);
    const double inss = numero(u"inss"_s);
    const double sestSenat = numero(u"sestsenat"_s);
    define(u"Vlr_Frete"_s, dinheiro(frete));
    define(u"Vlr_Combustivel"_s, dinheiro(combustivel));
    define(u"Vlr_Despesas"_s, dinheiro(despesas));
    define(u"Qtd_Tarifas"_s, busca(u"quantidadeTotal"_s));
    define(u"Vlr_Tarifas"_s, dinheiro(tarifas));
    if (const double pedagio = numero(u"vlrPedagio"_s); pedagio > 0)
        define(u"Ped_Valor"_s, dinheiro(pedagio));
    define(u"Vlr_IRRF"_s, dinheiro(irrf));
    define(u"Vlr_INSS"_s, dinheiro(inss));
    define(u"Vlr_Sest_Senat"_s, dinheiro(sestSenat));
    const double vencimentos = frete + combustivel + despesas + tarifas;
    const double retidos = irrf + inss + sestSenat;
    const double descontos = 0;
    define(u"Tot_Vencimentos"_s, dinheiro(vencimentos));
    define(u"Tot_Descontos"_s, dinheiro(descontos));
    define(u"Tot_Impostos_Retidos"_s, dinheiro(retidos));
    define(u"Tot_Receber"_s, dinheiro(vencimentos - descontos - retidos));
}

void Recibo::parcelas() {
    leitor_.Seleciona_Grupo(u"parcelamento"_s);
    QString descricao, valor, docs, liberacao, previsao;
    for (int j = 1; j <= kParcelasMaximo; ++j) {
        const QString nome = busca(u"nome"_s, {}, j);
        if (nome.trimmed().isEmpty()) break;
        descricao += nome + u'|';
        valor += busca(u"valorAplicado"_s, {}, j) + u'|';
        docs += u"-|"_s;
        liberacao += u"Posto Credenciado|"_s;
        previsao += busca(u"dataPrevisao"_s, {}, j) + u'|';
    }
    define(u"Parc_Descricao"_s, descricao);
    define(u"Parc_Valor"_s, valor);
    define(u"Parc_Docs"_s, docs);
    define(u"Parc_Liberacao"_s, liberacao);
    define(u"Parc_Previsao"_s, previsao);
}

void Recibo::pedagioEAdicionais() {
    leitor_.Seleciona_Grupo(u"rota"_s);
    define(u"Ped_Rota"_s, busca(u"rotaERP"_s));
    leitor_.Seleciona_Grupo(u"adicionais"_s);
    if (busca(u"nome"_s) != u"Dados Adicionais"_s) return;
    const TagPedagio tag = tagPedagio(busca(u"valor"_s));
    if (tag.presente) {
        define(u"Ped_Autorizacao"_s, tag.autorizacao);
        // A value the toll tag writes in a form that is no number is shown as written: the toll
        // data never stops the print.
        if (!tag.valor.trimmed().isEmpty()) {
            try {
                define(u"Ped_Valor"_s, dinheiro(Texto_Decimal(tag.valor.trimmed())));
            } catch (const ErroInesperado&) {
                define(u"Ped_Valor"_s, tag.valor.trimmed());
            }
        }
    }
    Preenche_Memo(m_, u"Dados_Adicionais"_s, tag.dados, VarianteMemo::DadosAdicionais);
}

void Recibo::saida() {
    ctx_.prefixoPdf = u"C:\\Qel\\Evento_DFe"_s;
    Afina_Molduras(m_);
    Relatorio relatorio;
    relatorio.adicionaPagina(m_);
    const QString impressora = impressoraDaConfiguracao(cfg_.ImpressoraNFe);
    const QString tarefa = Maiusculo(ctx_.tarefa);
    if (tarefa == u"IMPRIMIR"_s) {
        saida_.visualiza(relatorio, impressora, false);
        return;
    }
    if (tarefa != u"GERAR PDF"_s) {
        // One copy, whatever number the settings give: the receipt is the carrier's, not the
        // company's file copies.
        if (numeroConfiguracao(cfg_.NFe_Copias) > 0) {
            if (!saida_.imprime(relatorio, impressora, 1))
                throw ErroInesperado(u"Não foi possível imprimir na impressora "_s +
                                     (impressora.isEmpty() ? u"padrão"_s : impressora));
        } else {
            saida_.visualiza(relatorio, impressora, true);
        }
    }
    if (ctx_.nomeBase.trimmed().isEmpty()) return;
    const QString arquivo = arquivoPdf(ctx_.nomePdfTarefa, ctx_.prefixoPdf, u"1"_s);
    Prepara_Pasta(arquivo, u"N"_s);
    const QString titulo = u"DOT - Documento da Operação de Transporte"_s;
    const InformacaoPdf informacao{
        titulo,       u"Qel DFe"_s, titulo + u" - CIOT "_s + m_.objeto(u"Ciot"_s).texto(),
        u"Qel DFe"_s, u"Qel DFe"_s, ctx_.criacao};
    if (!relatorio.exportaPdf(localizaCaminho(arquivo), informacao))
        throw ErroInesperado(u"Não foi possível gravar o PDF "_s + arquivo);
    ctx_.pdfsGerados.append(arquivo);
}

bool Recibo::imprime(const QString& documento) {
    leitor_.Carrega_XML(documento);
    if (!leitor_.Seleciona_Grupo(u"ciotProc"_s)) {
        saida_.status(u"Documento sem ciotProc: a operação de vale-pedágio não tem impressão"_s);
        return false;
    }
    cabecalho();
    partes();
    documentos();
    valores();
    parcelas();
    pedagioEAdicionais();
    saida();
    return true;
}

} // namespace

bool imprimeReciboDot(const QString& documento, ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg,
                      SaidaImpressao& saida) {
    if (Vazio(documento)) return true;
    Recibo recibo(ctx, cfg, saida);
    return recibo.imprime(documento);
}

QString categoriaPedagio(const QString& categoria) {
    if (categoria.trimmed().isEmpty()) return {};
    const qint64 c = Texto_Inteiro(categoria);
    const qint64 eixos = c > 5 ? c - 5 : c;
    return u"( "_s + categoria + u" ) "_s + QString::number(eixos) + u" eixos"_s;
}

TagPedagio tagPedagio(const QString& dadosAdicionais) {
    TagPedagio t;
    t.dados = dadosAdicionais;
    const qsizetype inicio = dadosAdicionais.indexOf(kMarcaTag);
    if (inicio < 0) return t;
    t.presente = true;
    QString tag = dadosAdicionais.mid(inicio);
    if (const qsizetype fim = tag.indexOf(u'|'); fim >= 0) tag.truncate(fim);
    t.dados.remove(tag);
    if (t.dados.startsWith(u'|')) t.dados.remove(0, 1);
    // The value follows the last "-" that leaves it at least two characters.
    qsizetype hifen = -1;
    for (qsizetype i = tag.size() - 3; i >= kMarcaTag.size(); --i) {
        if (tag.at(i) == u'-') {
            hifen = i;
            break;
        }
    }
    if (hifen < 0) {
        // Without a value the whole rest is the authorisation.
        t.autorizacao = tag.mid(kMarcaTag.size());
        return t;
    }
    t.autorizacao = tag.mid(kMarcaTag.size(), hifen - kMarcaTag.size());
    t.valor = tag.mid(hifen + 1);
    return t;
}

} // namespace qel

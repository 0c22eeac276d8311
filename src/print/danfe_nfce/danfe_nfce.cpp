#include "print/danfe_nfce/danfe_nfce.h"

#include "print/codigo_qr.h"
#include "print/danfe/danfe_itens.h"
#include "print/danfe_nfce/texto_qr.h"
#include "print/impressao.h"
#include "util/arquivos.h"
#include "util/erros.h"
#include "util/leitor_xml.h"
#include "util/numeros.h"
#include "util/posicoes.h"
#include "util/situacao.h"
#include "util/texto.h"

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// Widths of the item table, in template units: the code column, the first line of a description
// (beside the numbers) and its further lines (the whole roll); the measured width of the
// additional information.
constexpr double kLarguraCodigo = 40;
constexpr double kPrimeiraLinhaDescricao = 105;
constexpr double kDemaisLinhasDescricao = 235;
constexpr double kLarguraMensagem = 276;
constexpr double kUnidadesPorMm = 96 / 25.4;

const QString kPergunta = u"Deseja imprimir o Cupom?"_s;

// The objects each block of the receipt is made of (their hint in the template).
const QString kFaixaFatura = u"Fatura"_s;
const QString kFaixaResumo = u"Resumo"_s;

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

QString cep(const QString& texto) {
    return texto.size() > 3 ? texto.left(texto.size() - 3) + u'-' + texto.right(3) : texto;
}

// The access key as the consumer types it into the consultation page: eleven groups of four.
QString chaveEmQuatros(const QString& chave) {
    QStringList grupos;
    for (qsizetype i = 0; i < chave.size(); i += 4)
        grupos.append(chave.mid(i, 4));
    return grupos.join(u' ');
}

// The means of payment of the authorities' table of `tPag`.
QString meioDePagamento(const QString& tPag, const QString& descricao) {
    static const QHash<QString, QString> meios{
        {u"01"_s, u"Dinheiro"_s},
        {u"02"_s, u"Cheque"_s},
        {u"03"_s, u"Cartão de Crédito"_s},
        {u"04"_s, u"Cartão de Débito"_s},
        {u"05"_s, u"Crédito Loja"_s},
        {u"10"_s, u"Vale Alimentação"_s},
        {u"11"_s, u"Vale Refeição"_s},
        {u"12"_s, u"Vale Presente"_s},
        {u"13"_s, u"Vale Combustível"_s},
        {u"14"_s, u"Duplicata Mercantil"_s},
        {u"15"_s, u"Boleto Bancário"_s},
        {u"16"_s, u"Depósito Bancário"_s},
        {u"17"_s, u"Pagamento Instantâneo (PIX)"_s},
        {u"18"_s, u"Transferência bancária, Carteira Digital"_s},
        {u"19"_s, u"Programa de fidelidade, Cashback, Crédito Virtual"_s},
        {u"20"_s, u"Pagamento Instantâneo (PIX) - Estático"_s},
        {u"21"_s, u"Crédito em Loja"_s},
        {u"22"_s, u"Pagamento Eletrônico não Informado"_s},
        {u"90"_s, u"Sem pagamento"_s},
    };
    if (!descricao.trimmed().isEmpty()) return descricao.trimmed();
    return meios.value(tPag.trimmed(), u"Outros"_s);
}

// One row of the item table; a continuation row carries only a further line of a description.
struct Linha {
    QString codigo, descricao, unidade, quantidade, unitario, total;
    bool continuacao = false;
};

class DanfeNfce {
public:
    DanfeNfce(ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg, SaidaImpressao& saida)
        : ctx_(ctx), cfg_(cfg), saida_(saida), m_(Modelo::carrega(u":/qel/print/danfe_nfce/NFC.json"_s)) {}

    void imprime(const QString& documento);

private:
    QString busca(const QString& nome, const QString& grupo = {}, int indice = 0) const {
        return textoDoXml(leitor_.Busca_Valor(nome, grupo, indice));
    }
    void escondeFaixa(const QString& faixa) {
        for (Objeto& o : m_.objetos())
            if (o.dica == faixa) o.visivel = false;
    }
    void situacao(const QString& documento);
    void logotipo();
    void emitente();
    void consumidor();
    void totais();
    void pagamento();
    void informacoesAdicionais();
    void itens();
    void margem();
    void saida();

    ContextoImpressao& ctx_;
    const ConfiguracaoEmpresa& cfg_;
    SaidaImpressao& saida_;
    Modelo m_;
    LeitorXml leitor_{u"NFCe"_s};
    QString protocolo_, linhaNumero_, consumidor_;
    QString condicao_, meio_;
    bool temCondicao_ = false, temMeio_ = false;
    QStringList parcelas_, mensagens_;
    QString arquivoVinculado_; // the linked-document file read, deleted once the receipt is out
};

void DanfeNfce::imprime(const QString& documento) {
    ctx_.tipo = TipoDocumento::NFCe;
    leitor_.Carrega_XML(documento);
    ctx_.chave = busca(u"Chave de Acesso"_s);

    situacao(documento);
    logotipo();
    Preenche_Memo(m_, u"Chave"_s, chaveEmQuatros(ctx_.chave));

    leitor_.Seleciona_Grupo(u"ide"_s);
    const QString nNF = busca(u"nNF"_s);
    const QString emissao = busca(u"dhEmi"_s).isEmpty() ? busca(u"dEmi"_s) : busca(u"dhEmi"_s);
    linhaNumero_ = u"Número "_s + numeroDocumento(nNF) + u"   Série "_s + busca(u"serie"_s) +
                   u"   Emissão "_s + dataDoXml(emissao);
    ctx_.prefixoPdf = u"C:\\Qel\\Danfe"_s + QString::number(static_cast<qint64>(numero(nNF)));
    ctx_.resumo.emissao = dataDoXml(emissao) + u" - "_s + horaDoXml(emissao);
    Preenche_Memo(m_, u"NFC1"_s,
                  linhaNumero_ + u"|Consulte pela Chave de Acesso em|"_s +
                      enderecoConsultaNfce(leitor_, ctx_.chave, ctx_.consultaNfce));

    // The notices the authorities' layout asks for in the fiscal message area.
    QStringList fiscal;
    if (busca(u"tpAmb"_s) == u"2"_s) fiscal << u"EMITIDA EM AMBIENTE DE HOMOLOGAÇÃO - SEM VALOR FISCAL"_s;
    const QString tpEmis = busca(u"tpEmis"_s);
    if (!tpEmis.isEmpty() && tpEmis != u"1"_s) {
        fiscal << u"EMITIDA EM CONTINGÊNCIA"_s;
        // Printed again once authorised, the receipt is no longer pending.
        if (protocolo_.isEmpty()) fiscal << u"Pendente de autorização"_s;
    }
    leitor_.Seleciona_Grupo(u"infAdic"_s);
    if (const QString fisco = Desfaz_Entidades(busca(u"infAdFisco"_s)).trimmed(); !fisco.isEmpty())
        fiscal << fisco.split(u'|');
    leitor_.Seleciona_Grupo(u"infProt"_s);
    if (const QString xMsg = busca(u"xMsg"_s).trimmed(); !xMsg.isEmpty()) fiscal << xMsg;
    Preenche_Memo(m_, u"Mensagem_Fiscal"_s, fiscal.join(u'|'));
    if (fiscal.isEmpty()) escondeFaixa(u"MensagemFiscal"_s);

    emitente();
    consumidor();
    totais();

    // Lines of a linked document the calling application left for this receipt.
    const QString vinculado = localizaCaminho(ctx_.pastaLocal + u"NFC_Vinculado.Qel"_s);
    QString textoVinculado;
    if (!ctx_.pastaLocal.isEmpty() && existeArquivo(vinculado)) {
        textoVinculado = lerLinhas(vinculado).join(u'|');
        arquivoVinculado_ = vinculado;
    }

    informacoesAdicionais();

    // Instalments; without them the block goes, and with NFCE RESUMO the summary too.
    if (parcelas_.isEmpty()) {
        escondeFaixa(kFaixaFatura);
        if (cfg_.NFCe_resumo) escondeFaixa(kFaixaResumo);
    } else {
        m_.objeto(u"Fatura"_s).linhas = parcelas_;
    }
    pagamento();
    m_.objeto(u"Mensagem"_s).linhas = mensagens_;
    if (mensagens_.isEmpty()) escondeFaixa(u"DadosAdicionais"_s);

    // The QR code: the document's own text, also left for the calling application.
    const QString qr = textoQrNfce(leitor_, ctx_.chave, ctx_.consultaNfce);
    const QString arquivoQr = caminhoNativo(u"C:\\Qel\\sQRCode.txt"_s);
    Prepara_Pasta(arquivoQr, u"N"_s);
    if (!gravaLinhas(localizaCaminho(arquivoQr), {qr}))
        saida_.status(u"Não foi possível gravar "_s + arquivoQr);
    defineQrCode(m_.objeto(u"QRCode"_s), qr);

    // The summary that stays with the shop.
    Preenche_Memo(m_, u"Cabec_Resumo"_s,
                  u"Resumo NFCe "_s + QString::number(static_cast<qint64>(numero(Copia(ctx_.chave, 26, 9)))));
    Preenche_Memo(m_, u"Resumo1"_s, chaveEmQuatros(ctx_.chave) + u'|' + linhaNumero_ + u'|' + protocolo_);
    const QString tracos(30, u'-');
    Preenche_Memo(m_, u"Resumo2"_s, tracos + u'|' + consumidor_ + u'|' + tracos);
    Preenche_Memo(m_, u"Resumo3"_s, textoVinculado);
    leitor_.Seleciona_Grupo(u"ICMSTot"_s);
    Preenche_Memo(m_, u"ResumoVlr"_s, u"Valor Total "_s + busca(u"vNF"_s));

    itens();
    m_.empilhaFaixas();
    margem();
    saida();
    if (!arquivoVinculado_.isEmpty()) apagaArquivo(arquivoVinculado_);
}

void DanfeNfce::situacao(const QString& documento) {
    leitor_.Seleciona_Grupo(u"protNFe"_s);
    const QString nProt = busca(u"nProt"_s);
    QString aviso;
    if (nProt.trimmed().isEmpty()) {
        aviso = u"Não Transmitida"_s;
    } else {
        const QString recebido = busca(u"dhRecbto"_s);
        protocolo_ =
            u"Protocolo "_s + nProt + u"  -  "_s + dataDoXml(recebido) + u"   -   "_s + horaDoXml(recebido);
        Preenche_Memo(m_, u"Protocolo"_s, protocolo_);
        if (!documento.trimmed().startsWith(u'<') &&
            Situacao_Documento(caminhoNativo(documento)) == u"Cancelada"_s)
            aviso = u"NFCe Cancelada"_s;
    }
    static const QStringList denegados{u"205"_s, u"301"_s, u"302"_s, u"303"_s};
    if (denegados.contains(Ultimo_cStat(leitor_.linhas().join(QString())))) aviso = u"NFCe Denegada"_s;
    Preenche_Memo(m_, u"Aviso"_s, aviso);
    if (protocolo_.isEmpty()) escondeFaixa(u"Protocolo"_s);
}

void DanfeNfce::logotipo() {
    const QString logo = cfg_.Logotipo.trimmed().isEmpty() ? ctx_.pastaLocal + u"Logo_DFe.jpg"_s
                                                           : caminhoNativo(cfg_.Logotipo.trimmed());
    Objeto& figura = m_.objeto(u"Logo"_s);
    if (!logo.isEmpty() && existeArquivo(logo)) figura.carregaImagem(localizaCaminho(logo));
    if (figura.imagem.isNull()) {
        // Without a logo the issuer's block takes the whole width.
        figura.visivel = false;
        Objeto& dados = m_.objeto(u"Dados_empresa"_s);
        const double direita = dados.geometria.right();
        dados.geometria.setLeft(figura.geometria.left());
        dados.geometria.setRight(direita);
    }
}

void DanfeNfce::emitente() {
    leitor_.Seleciona_Grupo(u"emit"_s);
    const QString fone = busca(u"fone"_s);
    ctx_.resumo.emitenteNome = busca(u"xNome"_s);
    ctx_.resumo.emitenteCidade = busca(u"xMun"_s);
    ctx_.resumo.emitenteFone = Formata_Fone(fone);
    QString dados = busca(u"xNome"_s) + u'|' + busca(u"xLgr"_s) + u", "_s + busca(u"nro"_s) + u'|' +
                    busca(u"xBairro"_s) + u'|' + busca(u"xMun"_s) + u" - "_s + busca(u"UF"_s) + u" - CEP "_s +
                    cep(busca(u"CEP"_s));
    if (!fone.trimmed().isEmpty()) dados += u"|Fone "_s + Formata_Fone(fone);
    const QString documento = busca(u"CNPJ"_s).isEmpty() ? busca(u"CPF"_s) : busca(u"CNPJ"_s);
    dados += (busca(u"CNPJ"_s).isEmpty() ? u"|CPF "_s : u"|CNPJ "_s) + Formata_CNPJ(documento) + u"  IE "_s +
             busca(u"IE"_s);
    Preenche_Memo(m_, u"Dados_empresa"_s, dados);
}

void DanfeNfce::consumidor() {
    leitor_.Seleciona_Grupo(u"dest"_s);
    const QString documento = busca(u"CPF"_s) + busca(u"CNPJ"_s);
    if (documento.trimmed().isEmpty()) {
        consumidor_ = u"Sem Identificação"_s;
    } else {
        QStringList linhas{u"CNPJ/CPF "_s + Formata_CNPJ(documento), busca(u"xNome"_s)};
        const QString pais = busca(u"xPais"_s);
        QString endereco = busca(u"xLgr"_s);
        if (!busca(u"nro"_s).isEmpty()) endereco += u", "_s + busca(u"nro"_s);
        if (!pais.isEmpty() && pais.toUpper() != u"BRASIL"_s) endereco += u" ( "_s + pais + u" )"_s;
        linhas << endereco << busca(u"xBairro"_s) << busca(u"xMun"_s);
        // A consumer known by the document alone leaves no empty address lines on the roll.
        linhas.removeIf([](const QString& l) { return l.trimmed().isEmpty(); });
        consumidor_ = linhas.join(u'|');
        ctx_.resumo.destinatarioNome = busca(u"xNome"_s);
        ctx_.resumo.destinatarioDocumento = Formata_CNPJ(documento);
        ctx_.resumo.destinatarioCidade = busca(u"xMun"_s);
    }
    Preenche_Memo(m_, u"Consumidor"_s, consumidor_);
}

void DanfeNfce::totais() {
    leitor_.Seleciona_Grupo(u"ICMSTot"_s);
    const QString mascara = u"###,###,##0.00"_s;
    const double d = numero(busca(u"vOutro"_s)) + numero(busca(u"vFrete"_s)) - numero(busca(u"vDesc"_s));
    Preenche_Memo(m_, u"Nome_Desconto"_s, d > 0 ? u"Acrescimo R$"_s : u"Desconto R$"_s);
    Preenche_Memo(m_, u"Desconto"_s, Formata_Valor(mascara, d > 0 ? d : (d < 0 ? -d : 0.0)).trimmed());
    Preenche_Memo(m_, u"Vlr_Produtos"_s, valor(mascara, busca(u"vProd"_s)).trimmed());
    Preenche_Memo(m_, u"Vlr_Total"_s, valor(mascara, busca(u"vNF"_s)).trimmed());
    const double tributos = numero(busca(u"vTotTrib"_s));
    if (tributos > 0)
        Preenche_Memo(m_, u"Tributos"_s,
                      u"Informação dos Tributos Totais Incidentes (Lei Federal 12.741/2012) R$ "_s +
                          Formata_Valor(mascara, tributos).trimmed());
    if (tributos <= 0) escondeFaixa(u"Tributos"_s);
}

void DanfeNfce::informacoesAdicionais() {
    leitor_.Seleciona_Grupo(u"infAdic"_s);
    const QString complementar = Desfaz_Entidades(busca(u"infCpl"_s));
    if (complementar.trimmed().isEmpty()) return;
    const auto dentro = [](const QString& linha) { return Copia(linha, 6, linha.size() - 6); };
    for (const QString& linha : Quebra_Texto(m_, complementar, kLarguraMensagem, 0, 7)) {
        if (linha.startsWith(u"CNJ ("_s)) {
            condicao_ = dentro(linha);
            temCondicao_ = true;
        } else if (linha.startsWith(u"VNC ("_s)) {
            const QString t = dentro(linha).trimmed();
            parcelas_.append(Copia(t, 1, 7) + u'/' + Copia(t, 9, 2) + u'/' + Copia(t, 12, 20));
        } else if (linha.startsWith(u"MCT ("_s)) {
            meio_ = dentro(linha);
            temMeio_ = true;
        } else if (linha.startsWith(u"Recebido: R$ "_s)) {
            Preenche_Memo(m_, u"Nome_Troco"_s, u"Recebimento"_s);
            Preenche_Memo(m_, u"Memo_Troco"_s, linha);
        } else {
            mensagens_.append(linha);
        }
    }
    while (!mensagens_.isEmpty() && mensagens_.last().trimmed().isEmpty())
        mensagens_.removeLast();
}

void DanfeNfce::pagamento() {
    leitor_.Seleciona_Grupo(u"pag"_s);
    QString forma;
    if (!temCondicao_) {
        const QString tPag = busca(u"tPag"_s);
        forma = (tPag == u"01"_s ? u"A Vista"_s : tPag == u"05"_s ? u"A Prazo"_s : QString()) + meio_;
    } else {
        forma = condicao_ + u" - "_s + (temMeio_ ? meio_ : u"Dinheiro"_s);
    }
    Preenche_Memo(m_, u"Forma_Pag"_s, forma);
    m_.objeto(u"Forma_Pag"_s).visivel = !forma.trimmed().isEmpty();

    // Each means of payment of the document with its value, and the change.
    const QList<Ocorrencia> pagamentos = Ocorrencias(leitor_.linhas(), u"detPag"_s);
    QStringList meios, valores;
    for (const Ocorrencia& p : pagamentos) {
        meios.append(meioDePagamento(p.valor(u"tPag"_s), p.valor(u"xPag"_s)));
        valores.append(valor(u"###,###,##0.00"_s, p.valor(u"vPag"_s)).trimmed());
    }
    m_.objeto(u"Pagamentos"_s).linhas = meios;
    m_.objeto(u"Pagamentos_Valor"_s).linhas = valores;
    m_.objeto(u"Pagamentos"_s).visivel = m_.objeto(u"Pagamentos_Valor"_s).visivel = !meios.isEmpty();
    const QString troco = busca(u"vTroco"_s);
    Objeto& memoTroco = m_.objeto(u"Memo_Troco"_s);
    if (memoTroco.linhas.isEmpty() && !troco.isEmpty())
        Preenche_Memo(m_, u"Memo_Troco"_s, valor(u"###,###,##0.00"_s, troco).trimmed());
    memoTroco.visivel = m_.objeto(u"Nome_Troco"_s).visivel = !memoTroco.linhas.isEmpty();
    if (forma.trimmed().isEmpty() && meios.isEmpty() && !memoTroco.visivel) escondeFaixa(u"Pagamento"_s);
}

void DanfeNfce::itens() {
    struct Item {
        int numero;
        Linha linha;
    };
    QList<Item> lidos;
    for (const Ocorrencia& det : Ocorrencias(leitor_.linhas(), u"det"_s)) {
        const int n = det.atributo(u"nItem"_s).toInt();
        if (n < 1 || n > 1000) continue;
        Linha l;
        l.codigo = det.valor(u"prod/cProd"_s);
        const QString nota = det.valor(u"infAdProd"_s).trimmed();
        if (nota.startsWith(u"Prd."_s)) {
            const qsizetype barra = nota.indexOf(u'|');
            l.codigo = barra < 0 ? nota.mid(4) : nota.mid(4, barra - 4);
        }
        const QString ean = det.valor(u"prod/cEAN"_s);
        if (!ean.trimmed().isEmpty() && ean != u"SEM GTIN"_s) l.codigo = ean;
        l.descricao = det.valor(u"prod/xProd"_s);
        l.unidade = det.valor(u"prod/uCom"_s).left(2);
        l.quantidade = det.valor(u"prod/qCom"_s);
        l.unitario = det.valor(u"prod/vUnCom"_s);
        l.total = det.valor(u"prod/vProd"_s);
        lidos.append({n, l});
    }
    std::stable_sort(lidos.begin(), lidos.end(),
                     [](const Item& a, const Item& b) { return a.numero < b.numero; });
    Preenche_Memo(m_, u"Qtd_Total"_s, QString::number(lidos.size()));

    // The code column widens for the widest code; the description gives up that width.
    Objeto medidor = m_.objeto(u"Teste7"_s);
    double maior = 0;
    for (const Item& i : std::as_const(lidos)) {
        medidor.defineTexto(i.linha.codigo);
        maior = std::max(maior, medidor.larguraTexto());
    }
    const double e = maior > kLarguraCodigo ? maior - kLarguraCodigo : 0;
    if (e > 0) {
        m_.objeto(u"Codigo"_s).geometria.setWidth(m_.objeto(u"Codigo"_s).geometria.width() + e);
        QRectF& descricao = m_.objeto(u"Descricao"_s).geometria;
        descricao.translate(e, 0);
        descricao.setWidth(std::round(kDemaisLinhasDescricao - e));
        m_.objeto(u"Descricao1"_s).geometria.translate(e, 0);
    }

    // A description wraps beside the numbers, then on further rows across the roll.
    QList<Linha> linhas;
    for (const Item& i : std::as_const(lidos)) {
        const QStringList partes =
            Quebra_Texto(m_, i.linha.descricao, std::round(kPrimeiraLinhaDescricao - e),
                         std::round(kDemaisLinhasDescricao - e), 7);
        Linha primeira = i.linha;
        primeira.descricao = partes.value(0);
        linhas.append(primeira);
        if (cfg_.NFCe_Descricao) continue;
        for (qsizetype k = 1; k < partes.size(); ++k) {
            Linha continuacao;
            continuacao.descricao = partes.at(k);
            continuacao.continuacao = true;
            linhas.append(continuacao);
        }
    }

    QStringList codigos, descricoes, unidades, quantidades, unitarios, totais;
    for (const Linha& l : std::as_const(linhas)) {
        descricoes.append(l.descricao);
        if (l.continuacao) {
            codigos.append(QString());
            unidades.append(QString());
            quantidades.append(QString());
            unitarios.append(QString());
            totais.append(QString());
            continue;
        }
        codigos.append(l.codigo);
        unidades.append(l.unidade);
        quantidades.append(valor(mascaraAdaptativa(u"##0.0000"_s, numero(l.quantidade)), l.quantidade));
        unitarios.append(valor(u"Z######0.00"_s, l.unitario));
        totais.append(valor(u"Z######0.00"_s, l.total));
    }
    m_.objeto(u"Codigo"_s).linhas = codigos;
    m_.objeto(u"Descricao"_s).linhas = descricoes;
    m_.objeto(u"Un"_s).linhas = unidades;
    m_.objeto(u"Quantidade"_s).linhas = quantidades;
    m_.objeto(u"Unitario"_s).linhas = unitarios;
    m_.objeto(u"Total"_s).linhas = totais;
}

// The left margin of the settings, as long as the receipt still fits the roll: a margin that
// would push the values off the paper is cut down to the room there is.
void DanfeNfce::margem() {
    double margem = 0;
    try {
        margem = margemNFCe(cfg_);
    } catch (const ErroInesperado&) {
        saida_.status(u"Margem da NFC-e inválida: '"_s + cfg_.MargemNFC + u"'; impressa sem margem"_s);
    }
    double largura = 0;
    for (const Objeto& o : m_.objetos())
        if (o.visivel) largura = std::max(largura, o.geometria.right());
    const double folga = std::max(0.0, m_.papelMm().width() - largura / kUnidadesPorMm);
    if (margem > folga) {
        saida_.status(u"Margem da NFC-e de "_s + cfg_.MargemNFC.trimmed() + u" mm reduzida para "_s +
                      QString::number(folga, 'f', 1).replace(u'.', u',') +
                      u" mm: o cupom não caberia no rolo"_s);
        margem = folga;
    }
    m_.defineMargemEsquerda(std::max(0.0, margem));
}

void DanfeNfce::saida() {
    Afina_Molduras(m_);
    Relatorio relatorio;
    relatorio.adicionaPagina(m_);
    const QString impressora = impressoraDaConfiguracao(cfg_.ImpressoraNFCe);
    const QString tarefa = ctx_.tarefa.trimmed().toUpper();
    if (tarefa == u"IMPRIMIR"_s) {
        saida_.visualiza(relatorio, impressora, false);
        return;
    }
    if (tarefa != u"GERAR PDF"_s && Deve_Imprimir(ctx_.tarefa, ctx_.tipo, cfg_, ctx_.nomeBase)) {
        const int copias = static_cast<int>(numeroConfiguracao(cfg_.NFCE_Copias));
        if (copias > 0) {
            const bool imprime =
                !cfg_.NFCe_PerguntaImp || saida_.pergunta(kPergunta).trimmed().toUpper() == u"SIM"_s;
            // A printer that is gone stops the task: the user must know the copies were not made.
            if (imprime && !saida_.imprime(relatorio, impressora, copias))
                throw ErroInesperado(u"Não foi possível imprimir na impressora "_s +
                                     (impressora.isEmpty() ? u"padrão"_s : impressora));
        } else {
            saida_.visualiza(relatorio, impressora, true);
        }
    }
    if ((cfg_.Sem_Email_Auto && tarefa != u"GERAR PDF"_s) || ctx_.nomeBase.trimmed().isEmpty()) return;
    const QString arquivo = arquivoPdf(ctx_.nomePdfTarefa, ctx_.prefixoPdf, u"1"_s);
    Prepara_Pasta(arquivo, u"N"_s);
    leitor_.Seleciona_Grupo(u"ide"_s);
    const InformacaoPdf informacao{u"DANFE NFC-e "_s + busca(u"nNF"_s),
                                   u"Qel DFe"_s,
                                   u"DANFE da NFC-e "_s + ctx_.chave,
                                   u"Qel DFe"_s,
                                   u"Qel DFe"_s,
                                   ctx_.criacao};
    if (!relatorio.exportaPdf(localizaCaminho(arquivo), informacao))
        throw ErroInesperado(u"Não foi possível gravar o PDF "_s + arquivo);
    ctx_.pdfsGerados.append(arquivo);
}

} // namespace

void imprimeDanfeNfce(const QString& documento, ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg,
                      SaidaImpressao& saida) {
    if (documento.trimmed().isEmpty()) return;
    DanfeNfce danfe(ctx, cfg, saida);
    danfe.imprime(documento);
}

} // namespace qel

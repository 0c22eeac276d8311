#include "print/recibos/recibo_evento.h"

#include "print/codigo_barras.h"
#include "print/impressao.h"
#include "util/arquivos.h"
#include "util/leitor_xml.h"
#include "util/posicoes.h"
#include "util/tabelas.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// Width the condition of use of a correction letter is wrapped to, and where the texts may go.
constexpr double kLarguraTexto = 737;
constexpr double kTopoTextos = 215;
constexpr double kFimPagina = 1090;
constexpr double kAlturaDescricao = 14;
constexpr double kAlturaMinimaTexto = 40;
constexpr double kEspaco = 6;

// A caption and its text, as the two pairs of the receipt carry them.
struct Bloco {
    QString descricao;
    QStringList linhas;
};

class Recibo {
public:
    Recibo(ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg, SaidaImpressao& saida)
        : ctx_(ctx), cfg_(cfg), saida_(saida), m_(Modelo::carrega(u":/qel/print/recibos/Evento.json"_s)) {}

    void imprime(const QString& documento);

private:
    QString busca(const QString& nome, const QString& grupo = {}, int indice = 0) const {
        return textoDoXml(leitor_.Busca_Valor(nome, grupo, indice));
    }
    QString blocoEmpresa(const QString& cnpj) const;
    void inutilizacao();
    void evento();
    void cancelamentoNfse();
    QList<Modelo> paginas();

    ContextoImpressao& ctx_;
    const ConfiguracaoEmpresa& cfg_;
    SaidaImpressao& saida_;
    Modelo m_;
    LeitorXml leitor_;
    QString sequencia_;
};

// The company of the task: name, address, district, city, CNPJ and telephone.
QString Recibo::blocoEmpresa(const QString& cnpj) const {
    const QStringList& dados = ctx_.dadosEmpresa;
    if (dados.value(0).trimmed().isEmpty()) return u"CNPJ "_s + Formata_CNPJ(cnpj);
    return dados.value(0) + u'|' + dados.value(1) + u'|' + dados.value(6) + u'|' + dados.value(2) +
           u"|CNPJ "_s + Formata_CNPJ(cnpj) + u'|' + Formata_Fone(dados.value(3));
}

void Recibo::imprime(const QString& documento) {
    leitor_.Carrega_XML(documento);
    Preenche_Memo(m_, u"Dados_empresa"_s,
                  ctx_.dadosEmpresa.value(0).trimmed().isEmpty() ? QString() : blocoEmpresa(ctx_.cnpj));
    const QString logo = caminhoNativo(cfg_.Logotipo);
    if (!ctx_.cnpj.trimmed().isEmpty() && !cfg_.Logotipo.trimmed().isEmpty() && existeArquivo(logo))
        m_.objeto(u"Logo"_s).carregaImagem(localizaCaminho(logo));

    const bool nfse = leitor_.linhas().join(QString()).contains(u"CodigoCancelamento"_s);
    leitor_.Seleciona_Grupo(u"infInut"_s);
    if (!busca(u"nNFIni"_s).trimmed().isEmpty() || !busca(u"nCTIni"_s).trimmed().isEmpty())
        inutilizacao();
    else if (!nfse)
        evento();
    else
        cancelamentoNfse();

    ctx_.prefixoPdf = u"C:\\Qel\\Evento_DFe"_s;
    // A name the task gave is the caller's to keep; otherwise the receipt's fixed name, which the
    // e-mail attaches.
    if (ctx_.nomePdfTarefa.trimmed().isEmpty()) ctx_.nomePdfTarefa = u"C:\\Qel\\Evento_DFe.PDF"_s;
    Relatorio relatorio;
    for (Modelo& pagina : paginas()) {
        Afina_Molduras(pagina);
        relatorio.adicionaPagina(pagina);
    }
    Saida_Relatorio(relatorio,
                    {cfg_.ImpressoraNFe,
                     QString(),
                     sequencia_.trimmed().isEmpty() ? u"0"_s : sequencia_.trimmed(),
                     {m_.objeto(u"Servico1"_s).texto(),
                      u"Qel DFe"_s,
                      m_.objeto(u"Servico1"_s).texto() + u' ' + ctx_.chave,
                      u"Qel DFe"_s,
                      u"Qel DFe"_s,
                      {}}},
                    ctx_, cfg_, saida_);
}

void Recibo::inutilizacao() {
    leitor_.Seleciona_Grupo(u"infInut"_s);
    const QString inicio = busca(u"nNFIni"_s).isEmpty() ? busca(u"nCTIni"_s) : busca(u"nNFIni"_s);
    const QString fim = busca(u"nNFFin"_s).isEmpty() ? busca(u"nCTFin"_s) : busca(u"nNFFin"_s);
    // The range belongs to the CNPJ it names, which the company block shows.
    Preenche_Memo(m_, u"Dados_empresa"_s, blocoEmpresa(busca(u"CNPJ"_s)));
    Preenche_Memo(m_, u"Servico1"_s, u"Confirmação de Inutilização"_s);
    Preenche_Memo(m_, u"Descricao1"_s, u"Justificativa"_s);
    Preenche_Memo(m_, u"Texto1"_s, busca(u"xJust"_s));
    Preenche_Memo(m_, u"Descricao2"_s, u"Numeração Inutilizada"_s);
    Preenche_Memo(m_, u"Texto2"_s,
                  u"Ano: "_s + busca(u"ano"_s) + u"|Modelo: "_s + busca(u"mod"_s) + u"|Serie: "_s +
                      busca(u"serie"_s) + u"|Numeração Inicial: "_s + inicio + u"|Numeração Final: "_s + fim);
    // The answer of the authority: the second group of that name.
    const QList<Ocorrencia> grupos = Ocorrencias(leitor_.linhas(), u"infInut"_s);
    const Ocorrencia resposta = grupos.size() > 1 ? grupos.at(1) : Ocorrencia();
    const QString recebido = resposta.valor(u"dhRecbto"_s);
    Preenche_Memo(m_, u"Protocolo"_s,
                  resposta.valor(u"nProt"_s) + u" - "_s + dataDoXml(recebido) + u" - "_s +
                      horaDoXml(recebido));
}

void Recibo::evento() {
    leitor_.Seleciona_Grupo(u"infEvento"_s);
    QString chave = busca(u"chNFe"_s);
    if (chave.isEmpty()) chave = busca(u"chCTe"_s);
    if (chave.isEmpty()) chave = busca(u"chMDFe"_s);
    ctx_.chave = chave;
    Preenche_Memo(m_, u"Nro2"_s, numeroDocumento(Copia(chave, 26, 9)));
    Preenche_Memo(m_, u"Serie2"_s, Copia(chave, 23, 3));
    Preenche_Memo(m_, u"Modelo"_s, Copia(chave, 21, 2));
    const QString momento = busca(u"dhEvento"_s);
    ctx_.resumo.emissao = momento;
    const QString data = dataDoXml(momento) + u" - "_s + horaDoXml(momento);
    Preenche_Memo(m_, u"CNPJ"_s, Formata_CNPJ(busca(u"CNPJ"_s) + busca(u"CPF"_s)));
    Preenche_Memo(m_, u"Chave"_s, chave);
    sequencia_ = busca(u"nSeqEvento"_s);
    Preenche_Memo(m_, u"Seq_Evento"_s, sequencia_);
    defineBarras(m_.objeto(u"Barras"_s), chave.trimmed());

    // The protocol is the registration's, in the authority's answer: the first protocol of the
    // file may be the cancelled document's own, which a cancellation repeats.
    QString protocolo;
    for (const QString& resposta : {u"retEvento"_s, u"retEventoCTe"_s, u"retEventoMDFe"_s}) {
        const QList<Ocorrencia> r = Ocorrencias(leitor_.linhas(), resposta);
        if (!r.isEmpty()) {
            protocolo = r.first().valor(u"infEvento/nProt"_s);
            break;
        }
    }
    Preenche_Memo(m_, u"Protocolo"_s, protocolo + u" - "_s + data);

    leitor_.Seleciona_Grupo(u"infEvento"_s);
    const QString tipo = busca(u"tpEvento"_s);
    const QList<Ocorrencia> correcoes = Ocorrencias(leitor_.linhas(), u"infCorrecao"_s);
    if (tipo == u"110111"_s) {
        Preenche_Memo(m_, u"Servico1"_s, u"Confirmação de Cancelamento"_s);
        Preenche_Memo(m_, u"Descricao1"_s, u"Justificativa"_s);
        Preenche_Memo(m_, u"Texto1"_s, busca(u"xJust"_s));
    } else if (tipo == u"110112"_s) {
        Preenche_Memo(m_, u"Servico1"_s, u"Confirmação de Encerramento"_s);
        Preenche_Memo(m_, u"Descricao1"_s, u"Descricao"_s);
        QString texto = busca(u"xJust"_s);
        // The closing of an MDF-e has no justification: its date and place say what was closed.
        if (texto.trimmed().isEmpty() && !busca(u"dtEnc"_s).isEmpty())
            texto = u"Encerramento em "_s + dataDoXml(busca(u"dtEnc"_s)) + u"|Município "_s +
                    busca(u"cMun"_s) + u" - "_s + Converte_UF(busca(u"cUF"_s));
        Preenche_Memo(m_, u"Texto1"_s, texto);
    } else if (tipo == u"110110"_s || !busca(u"xCorrecao"_s).isEmpty() || !correcoes.isEmpty()) {
        Preenche_Memo(m_, u"Servico1"_s, u"Carta de Correção Eletronica - CCe"_s);
        Preenche_Memo(m_, u"Descricao1"_s, u"Correcao"_s);
        QStringList grupos;
        for (const Ocorrencia& c : correcoes.mid(0, 99))
            grupos.append(c.valor(u"grupoAlterado"_s) + u" - "_s + c.valor(u"campoAlterado"_s) + u" - "_s +
                          c.valor(u"valorAlterado"_s));
        Preenche_Memo(m_, u"Texto1"_s, grupos.isEmpty() ? busca(u"xCorrecao"_s) : grupos.join(u'|'));
        Preenche_Memo(m_, u"Descricao2"_s, u"Condicao de Uso"_s);
        QString uso;
        for (const QString& linha : Quebra_Texto(m_, busca(u"xCondUso"_s), kLarguraTexto, 0, 8))
            uso += linha + u'|';
        Preenche_Memo(m_, u"Texto2"_s, uso);
    } else {
        // Any other event (a recipient's manifestation, a driver added to an MDF-e, a
        // disagreement with a CT-e): named by its own description, not taken for a correction.
        QString descricao = busca(u"descEvento"_s);
        if (descricao.isEmpty()) descricao = u"Evento "_s + tipo;
        Preenche_Memo(m_, u"Servico1"_s, u"Registro de Evento - "_s + descricao);
        Preenche_Memo(m_, u"Descricao1"_s, u"Descricao"_s);
        QString texto = busca(u"xJust"_s);
        if (texto.isEmpty()) texto = busca(u"xObs"_s);
        if (texto.isEmpty() && !busca(u"xNome"_s).isEmpty())
            texto = busca(u"xNome"_s) + u" - CPF "_s + Formata_CNPJ(busca(u"CPF"_s));
        Preenche_Memo(m_, u"Texto1"_s, texto.isEmpty() ? descricao : texto);
    }
}

void Recibo::cancelamentoNfse() {
    const QString numero = busca(u"*Numero"_s);
    Preenche_Memo(m_, u"Servico1"_s, u"Confirmação de Cancelamento"_s);
    Preenche_Memo(m_, u"Descricao1"_s, u"Justificativa"_s);
    Preenche_Memo(m_, u"Descricao2"_s, u"Cancelamento de NFSe"_s);
    Preenche_Memo(m_, u"Texto2"_s, u"Numero: "_s + numero);
    Preenche_Memo(m_, u"Nro2"_s, numero);
    Preenche_Memo(m_, u"Modelo"_s, u"NFS"_s);
}

// The two pairs laid out one below the other, each text as tall as its wrapped lines; what does not
// fit goes on to further pages under the same header.
QList<Modelo> Recibo::paginas() {
    QList<Bloco> blocos;
    for (int n = 1; n <= 2; ++n) {
        const QString sufixo = QString::number(n);
        Bloco b{m_.objeto(u"Descricao"_s + sufixo).texto(), {}};
        // Each line measured and wrapped here, so every line of the list is a printed line.
        for (const QString& linha : m_.objeto(u"Texto"_s + sufixo).linhas)
            b.linhas.append(Quebra_Texto(m_, linha, kLarguraTexto, 0, 6 + n));
        while (!b.linhas.isEmpty() && b.linhas.last().trimmed().isEmpty())
            b.linhas.removeLast();
        // A pair with neither caption nor text (a cancellation has one pair) is left out.
        if (n == 1 || !b.descricao.trimmed().isEmpty() || !b.linhas.isEmpty()) blocos.append(b);
    }

    QList<Modelo> paginas;
    qsizetype atual = 0;
    while (atual < blocos.size()) {
        Modelo pagina = m_;
        double y = kTopoTextos;
        int posicao = 1;
        for (; posicao <= 2 && atual < blocos.size(); ++posicao) {
            const QString sufixo = QString::number(posicao);
            Objeto& faixa = pagina.objeto(u"Faixa_Descricao"_s + sufixo);
            Objeto& descricao = pagina.objeto(u"Descricao"_s + sufixo);
            Objeto& moldura = pagina.objeto(u"Box_Texto"_s + sufixo);
            Objeto& texto = pagina.objeto(u"Texto"_s + sufixo);
            const double margem = texto.geometria.top() - moldura.geometria.top();
            const double livre = kFimPagina - y - kAlturaDescricao - 2 * margem;
            Bloco& bloco = blocos[atual];
            // As many lines as the rest of the page holds.
            qsizetype cabem = 0;
            texto.linhas.clear();
            while (cabem < bloco.linhas.size()) {
                texto.linhas.append(bloco.linhas.at(cabem));
                if (texto.alturaTexto() > livre) {
                    texto.linhas.removeLast();
                    break;
                }
                ++cabem;
            }
            // Not a single line left on this page: the next one. A page of its own takes at least one.
            if (cabem == 0 && !bloco.linhas.isEmpty()) {
                if (posicao > 1) break;
                texto.linhas = bloco.linhas.mid(0, 1);
                cabem = 1;
            }
            Preenche_Memo(pagina, descricao.nome, bloco.descricao);
            const double altura = std::max(kAlturaMinimaTexto, texto.alturaTexto());
            faixa.geometria.moveTop(y);
            descricao.geometria.moveTop(y);
            moldura.geometria = QRectF(moldura.geometria.left(), y + kAlturaDescricao,
                                       moldura.geometria.width(), altura + 2 * margem);
            texto.geometria = QRectF(texto.geometria.left(), y + kAlturaDescricao + margem,
                                     texto.geometria.width(), altura);
            y = moldura.geometria.bottom() + kEspaco;
            if (cabem < bloco.linhas.size()) {
                bloco.linhas = bloco.linhas.mid(cabem);
                bloco.descricao = bloco.descricao + u" (continuação)"_s;
                ++posicao;
                break;
            }
            ++atual;
        }
        for (; posicao <= 2; ++posicao)
            for (const QString& nome : {u"Faixa_Descricao"_s, u"Descricao"_s, u"Box_Texto"_s, u"Texto"_s})
                pagina.objeto(nome + QString::number(posicao)).visivel = false;
        paginas.append(pagina);
    }
    return paginas;
}

} // namespace

void imprimeReciboEvento(const QString& documento, ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg,
                         SaidaImpressao& saida) {
    if (documento.trimmed().isEmpty()) return;
    Recibo recibo(ctx, cfg, saida);
    recibo.imprime(documento);
}

} // namespace qel

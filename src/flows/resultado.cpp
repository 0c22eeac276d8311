#include "flows/resultado.h"

#include "util/posicoes.h"
#include "versao.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// Content of the last element named tag in the text, and whether there was one.
std::pair<QString, bool> ultimoElemento(const QString& texto, const QString& tag) {
    const QString abre = u"<"_s + tag + u">"_s;
    const QString fecha = u"</"_s + tag + u">"_s;
    QString valor;
    bool achou = false;
    qsizetype de = 0;
    while (true) {
        const qsizetype a = texto.indexOf(abre, de);
        if (a < 0) break;
        const qsizetype inicio = a + abre.size();
        const qsizetype f = texto.indexOf(fecha, inicio);
        achou = true;
        if (f < 0) {
            valor = texto.mid(inicio);
            break;
        }
        valor = texto.mid(inicio, f - inicio);
        de = f + fecha.size();
    }
    return {valor, achou};
}

void apresentaResultado(ConteudoResultado& c, const QString& tag1, const QString& tag2,
                        const QStringList& lbRetorno, CanalMensagens& canal) {
    const QString resposta = lbRetorno.isEmpty() ? QString() : lbRetorno.first();
    const auto [codigo, temCodigo] = ultimoElemento(resposta, tag1);
    c.mensagemVermelha = temCodigo;
    QString texto = ultimoElemento(resposta, tag2).first;

    QString elemento;
    const qsizetype abre = Posicao(u"("_s, texto);
    if (abre > 0) {
        const qsizetype fecha = Posicao(u")"_s, texto);
        elemento = Copia(texto, abre, fecha - abre);
    }
    if (!elemento.trimmed().isEmpty()) {
        texto = Copia(texto, 1, abre);
        elemento.remove(u'(').remove(u')');
        elemento.replace(u"\\"_s, u" - "_s);
    }

    c.linhasMensagem << u"Codigo: "_s + codigo << u"Mensagem: "_s + texto;
    EnviaMensagem(canal, u"Documento"_s, u"Aviso/Erro"_s);
    EnviaMensagem(canal, u"Codigo"_s, codigo);
    EnviaMensagem(canal, u"Mensagem"_s, texto);
    const std::pair<const char16_t*, qsizetype> chaves[] = {{u"chNFe", 50}, {u"chCTe", 50}, {u"chMDFe", 51}};
    for (const auto& [marca, tamanho] : chaves) {
        if (const qsizetype p = Posicao(QString::fromUtf16(marca), texto); p > 0)
            c.linhasMensagem << u"Chave: "_s + Copia(texto, p, tamanho);
    }
    if (!elemento.trimmed().isEmpty()) {
        EnviaMensagem(canal, u"Elemento"_s, elemento);
        c.linhasMensagem << u"Elemento: "_s + elemento;
    }
    EnviaMensagem(canal, u"Fim"_s, QString());
    c.linhasPrincipal = quebraPorFechamento(resposta);
}

} // namespace

QStringList quebraPorFechamento(const QString& resposta) {
    QStringList linhas{resposta};
    while (linhas.first().contains(u"</"_s)) {
        QString& primeira = linhas.first();
        const qsizetype p = primeira.indexOf(u"</"_s);
        if (p > 0) {
            linhas.append(primeira.left(p));
            linhas.first().remove(0, p);
        }
        const qsizetype fim = linhas.first().indexOf(u'>');
        // A closing tag that never closes takes the rest of the text.
        const qsizetype corte = fim < 0 ? linhas.first().size() : fim + 1;
        if (p == 0 && linhas.size() == 1) linhas.append(QString());
        linhas.last() += linhas.first().left(corte);
        linhas.first().remove(0, corte);
    }
    return linhas;
}

QStringList divideLinhasLongas(const QStringList& linhas) {
    QStringList saida;
    for (const QString& linha : linhas) {
        QString resto = Copia(linha, 1, 1090);
        saida.append(resto.left(90));
        while (resto.size() > 90) {
            resto = Copia(resto, 91, 1000);
            saida.append(resto.left(90));
        }
    }
    return saida;
}

ConteudoResultado preparaResultado(ModoResultado modo, const QString& tag1, const QString& tag2,
                                   const QString& texto, const QStringList& lbRetorno,
                                   const std::function<QStringList()>& impressoras, CanalMensagens& canal,
                                   const QString& tituloAnterior) {
    ConteudoResultado c;
    c.titulo = tituloAnterior;
    switch (modo) {
    case ModoResultado::Impressoras:
        c.titulo = u"Selecionar Impressora"_s;
        if (impressoras) c.linhasPrincipal = impressoras();
        break;
    case ModoResultado::Teste:
    case ModoResultado::Pergunta:
        c.titulo = u"Teste DFe"_s;
        c.linhasPrincipal << (modo == ModoResultado::Teste ? u"Deseja transmitir este documento ?"_s : texto);
        c.botao1 = u"&Nao"_s;
        c.botao2 = u"&Sim"_s;
        c.botao2Visivel = true;
        break;
    case ModoResultado::Mensagem:
        c.titulo = u"Resultado"_s;
        c.linhasMensagem = texto.split(u'|');
        c.mensagemVisivel = true;
        break;
    case ModoResultado::ApresentaResultado:
        c.titulo = u"Apresenta Retorno WebService"_s;
        c.mensagemVisivel = true;
        apresentaResultado(c, tag1, tag2, lbRetorno, canal);
        break;
    }
    c.linhasMensagem = divideLinhasLongas(c.linhasMensagem);
    return c;
}

std::optional<QString> respostaDaAcao(const QString& titulo, AcaoResultado acao,
                                      const std::optional<QString>& linhaSelecionada) {
    const bool teste = titulo.startsWith(u"Teste DFe"_s);
    switch (acao) {
    case AcaoResultado::Botao1:
        if (teste) return u"Nao"_s;
        return linhaSelecionada.value_or(u"OK"_s);
    case AcaoResultado::Botao2:
        if (teste) return u"Sim"_s;
        return std::nullopt;
    case AcaoResultado::DuploClique:
        // Without a selected line of the main list there is nothing to answer: ignored.
        return linhaSelecionada;
    }
    return std::nullopt;
}

QString DialogoResultado::Mostra_Mensagem(ModoResultado modo, const QString& tag1, const QString& tag2,
                                          const QString& texto, const QStringList& lbRetorno) {
    ConteudoResultado c = preparaResultado(
        modo, tag1, tag2, texto, lbRetorno, [this] { return ui_.impressoras(); }, canal_, titulo_);
    titulo_ = c.titulo;
    c.titulo += u" ("_s + kVersaoDFe + u")"_s;
    if (registro_) registro_(c);
    if (const std::optional<QString> resposta = ui_.resultado(c)) Retorno_003 = *resposta;
    return Retorno_003;
}

} // namespace qel

#include "apoio.h"
#include "flows/resultado.h"
#include "ui_roteirizada.h"

#include <deque>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

struct CanalGravado : CanalMensagens {
    QStringList recebidas;
    void envia(const QString& parametro, const QString& valor) override {
        recebidas << parametro + u'=' + valor;
    }
};

ConteudoResultado prepara(ModoResultado modo, const QString& texto, const QStringList& retorno,
                          CanalMensagens& canal) {
    return preparaResultado(modo, u"cStat"_s, u"xMotivo"_s, texto, retorno, {}, canal, u"anterior"_s);
}

TEST(Resultado, MensagemUmaLinhaPorPedaco) {
    CanalGravado canal;
    const ConteudoResultado c =
        prepara(ModoResultado::Mensagem,
                u"Mais de uma tarefa solicitada (X),|Nao sera processada nenhuma tarefa."_s, {}, canal);
    EXPECT_EQ(c.titulo, u"Resultado"_s);
    EXPECT_TRUE(c.mensagemVisivel);
    EXPECT_EQ(c.linhasMensagem, (QStringList{u"Mais de uma tarefa solicitada (X),"_s,
                                             u"Nao sera processada nenhuma tarefa."_s}));
    EXPECT_EQ(prepara(ModoResultado::Mensagem, u"a|b|"_s, {}, canal).linhasMensagem,
              (QStringList{u"a"_s, u"b"_s, u""_s}));
    EXPECT_TRUE(canal.recebidas.isEmpty());
}

TEST(Resultado, LinhasLongasEm90) {
    const QString linha = QString(90, u'a') + QString(90, u'b') + QString(20, u'c');
    EXPECT_EQ(divideLinhasLongas({linha}),
              (QStringList{QString(90, u'a'), QString(90, u'b'), QString(20, u'c')}));
    const QStringList enorme = divideLinhasLongas({QString(2000, u'x'), u"fim"_s});
    EXPECT_EQ(enorme.size(), 14); // 1090 characters kept: 12 lines of 90 and one of 10, then "fim"
    EXPECT_EQ(enorme.at(12).size(), 10);
    EXPECT_EQ(enorme.last(), u"fim"_s);
}

TEST(Resultado, ApresentaResultadoAnalisaEAvisa) {
    CanalGravado canal;
    const QString resposta =
        u"<retEnviNFe><cStat>103</cStat><xMotivo>Lote recebido</xMotivo><protNFe><infProt>"
        "<chNFe>43240112345678000195550010000000011000000016</chNFe><cStat>225</cStat>"
        "<xMotivo>Rejeicao: Falha no Schema XML (det\\prod)</xMotivo></infProt></protNFe>"
        "</retEnviNFe>"_s;
    const ConteudoResultado c =
        prepara(ModoResultado::ApresentaResultado, QString(), {resposta, u"ignorada"_s}, canal);
    EXPECT_EQ(c.titulo, u"Apresenta Retorno WebService"_s);
    EXPECT_TRUE(c.mensagemVermelha);
    EXPECT_EQ(c.linhasMensagem, (QStringList{u"Codigo: 225"_s, u"Mensagem: Rejeicao: Falha no Schema XML ("_s,
                                             u"Elemento: det - prod"_s}));
    EXPECT_EQ(canal.recebidas, (QStringList{u"DFe-Documento=Aviso/Erro"_s, u"DFe-Codigo=225"_s,
                                            u"DFe-Mensagem=Rejeicao: Falha no Schema XML ("_s,
                                            u"DFe-Elemento=det - prod"_s, u"DFe-Fim="_s}));
    EXPECT_EQ(c.linhasPrincipal.first(), QString()) << "line 0 keeps what follows the last closing tag";
    EXPECT_EQ(
        c.linhasPrincipal.mid(1, 3),
        (QStringList{u"<retEnviNFe><cStat>103</cStat>"_s, u"<xMotivo>Lote recebido</xMotivo>"_s,
                     u"<protNFe><infProt><chNFe>43240112345678000195550010000000011000000016</chNFe>"_s}));
    // Closing tags that follow each other stay on one line.
    EXPECT_EQ(
        c.linhasPrincipal.last(),
        u"<xMotivo>Rejeicao: Falha no Schema XML (det\\prod)</xMotivo></infProt></protNFe></retEnviNFe>"_s);
}

TEST(Resultado, ChaveNoTextoERespostaVazia) {
    CanalGravado canal;
    const QString resposta =
        u"<r><cStat>539</cStat><xMotivo>Rejeicao: Duplicidade [chNFe:43240112345678000195550010000000011000000016]</xMotivo></r>"_s;
    const ConteudoResultado c = prepara(ModoResultado::ApresentaResultado, QString(), {resposta}, canal);
    EXPECT_EQ(c.linhasMensagem.at(2), u"Chave: chNFe:43240112345678000195550010000000011000000016"_s);

    CanalGravado vazio;
    const ConteudoResultado semResposta = prepara(ModoResultado::ApresentaResultado, QString(), {}, vazio);
    EXPECT_FALSE(semResposta.mensagemVermelha);
    EXPECT_EQ(semResposta.linhasMensagem, (QStringList{u"Codigo: "_s, u"Mensagem: "_s}));
    EXPECT_EQ(vazio.recebidas, (QStringList{u"DFe-Documento=Aviso/Erro"_s, u"DFe-Codigo="_s,
                                            u"DFe-Mensagem="_s, u"DFe-Fim="_s}));
}

TEST(Resultado, TextoAcimaDe255ViajaVazio) {
    CanalGravado canal;
    EnviaMensagem(canal, u"Mensagem"_s, QString(256, u'x'));
    EnviaMensagem(canal, u"Mensagem"_s, QString(255, u'y'));
    EXPECT_EQ(canal.recebidas, (QStringList{u"DFe-Mensagem="_s, u"DFe-Mensagem="_s + QString(255, u'y')}));
}

TEST(Resultado, RespostasDosBotoes) {
    const auto linha = std::optional<QString>(u"HP"_s);
    EXPECT_EQ(respostaDaAcao(u"Selecionar Impressora (v)"_s, AcaoResultado::Botao1, std::nullopt), u"OK"_s);
    EXPECT_EQ(respostaDaAcao(u"Selecionar Impressora (v)"_s, AcaoResultado::Botao1, linha), u"HP"_s);
    EXPECT_EQ(respostaDaAcao(u"Teste DFe (v)"_s, AcaoResultado::Botao1, linha), u"Nao"_s);
    EXPECT_EQ(respostaDaAcao(u"Teste DFe (v)"_s, AcaoResultado::Botao2, linha), u"Sim"_s);
    EXPECT_EQ(respostaDaAcao(u"Resultado (v)"_s, AcaoResultado::DuploClique, std::nullopt), std::nullopt);
    EXPECT_EQ(respostaDaAcao(u"Resultado (v)"_s, AcaoResultado::DuploClique, linha), u"HP"_s);
}

TEST(Resultado, FecharPelaCaixaDevolveARespostaAnterior) {
    UiRoteirizada ui;
    CanalGravado canal;
    DialogoResultado dialogo(ui, canal);
    ui.respostas = {std::nullopt, u"Sim"_s, std::nullopt, u"OK"_s};
    EXPECT_EQ(dialogo.Mostra_Mensagem(ModoResultado::Teste, {}, {}, {}), QString());
    EXPECT_EQ(dialogo.Mostra_Mensagem(ModoResultado::Pergunta, {}, {}, u"Imprimir?"_s), u"Sim"_s);
    EXPECT_EQ(dialogo.Mostra_Mensagem(ModoResultado::Teste, {}, {}, {}), u"Sim"_s);
    EXPECT_EQ(dialogo.Mostra_Mensagem(ModoResultado::Impressoras, {}, {}, {}), u"OK"_s);

    ASSERT_EQ(ui.mostrados.size(), 4u);
    EXPECT_EQ(ui.mostrados[0].titulo, u"Teste DFe (Versao 20/03/2025-03)"_s);
    EXPECT_EQ(ui.mostrados[0].linhasPrincipal, QStringList{u"Deseja transmitir este documento ?"_s});
    EXPECT_EQ(ui.mostrados[0].botao1, u"&Nao"_s);
    EXPECT_TRUE(ui.mostrados[0].botao2Visivel);
    EXPECT_EQ(ui.mostrados[1].linhasPrincipal, QStringList{u"Imprimir?"_s});
    EXPECT_EQ(ui.mostrados[3].titulo, u"Selecionar Impressora (Versao 20/03/2025-03)"_s);
    EXPECT_EQ(ui.mostrados[3].linhasPrincipal, (QStringList{u"HP_LaserJet"_s, u"QelPDF"_s}));
}

} // namespace

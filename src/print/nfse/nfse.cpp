#include "print/nfse/nfse.h"

#include "print/impressao.h"
#include "util/arquivos.h"
#include "util/arvore_xml.h"
#include "util/erros.h"
#include "util/numeros.h"
#include "util/tabelas.h"
#include "util/texto.h"

#include <QFile>
#include <QPainter>
#include <QPainterPath>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// The municipalities whose NFS-e the program sends, for their crests (by IBGE code, and the code
// under which Estrela's provider knows it).
const QStringList kMunicipiosAtendidos{u"4311403"_s, u"4316808"_s, u"4312401"_s, u"4301008"_s, u"4312054"_s,
                                       u"4306809"_s, u"4306205"_s, u"4307807"_s, u"8653"_s,    u"4310363"_s,
                                       u"4313409"_s, u"4106902"_s, u"4205407"_s, u"4305587"_s};

QString nomeDoEstado(const QString& uf) {
    static const QHash<QString, QString> nomes{{u"AC"_s, u"do Acre"_s},
                                               {u"AL"_s, u"de Alagoas"_s},
                                               {u"AP"_s, u"do Amapá"_s},
                                               {u"AM"_s, u"do Amazonas"_s},
                                               {u"BA"_s, u"da Bahia"_s},
                                               {u"CE"_s, u"do Ceará"_s},
                                               {u"DF"_s, u"do Distrito Federal"_s},
                                               {u"ES"_s, u"do Espírito Santo"_s},
                                               {u"GO"_s, u"de Goiás"_s},
                                               {u"MA"_s, u"do Maranhão"_s},
                                               {u"MT"_s, u"de Mato Grosso"_s},
                                               {u"MS"_s, u"de Mato Grosso do Sul"_s},
                                               {u"MG"_s, u"de Minas Gerais"_s},
                                               {u"PA"_s, u"do Pará"_s},
                                               {u"PB"_s, u"da Paraíba"_s},
                                               {u"PR"_s, u"do Paraná"_s},
                                               {u"PE"_s, u"de Pernambuco"_s},
                                               {u"PI"_s, u"do Piauí"_s},
                                               {u"RJ"_s, u"do Rio de Janeiro"_s},
                                               {u"RN"_s, u"do Rio Grande do Norte"_s},
                                               {u"RS"_s, u"do Rio Grande do Sul"_s},
                                               {u"RO"_s, u"de Rondônia"_s},
                                               {u"RR"_s, u"de Roraima"_s},
                                               {u"SC"_s, u"de Santa Catarina"_s},
                                               {u"SP"_s, u"de São Paulo"_s},
                                               {u"SE"_s, u"de Sergipe"_s},
                                               {u"TO"_s, u"do Tocantins"_s}};
    return nomes.value(uf, u"do Rio Grande do Sul"_s);
}

double numero(const QString& texto) {
    try {
        return texto.trimmed().isEmpty() ? 0 : Texto_Decimal(texto.trimmed());
    } catch (const std::exception&) {
        return 0;
    }
}

QString reais(double valor) {
    return u"R$ "_s + Formata_Valor(u"###,##0.00"_s, valor).trimmed();
}

// "AAAA-MM-DDThh:mm:ss..." as "DD/MM/AAAA - hh:mm:ss"; a date alone keeps no time.
QString emissaoDoXml(const QString& valor) {
    const QString v = valor.trimmed();
    if (v.size() < 10) return v;
    const QString data = v.mid(8, 2) + u'/' + v.mid(5, 2) + u'/' + v.left(4);
    return v.size() >= 19 ? data + u" - "_s + v.mid(11, 8) : data;
}

// A neutral emblem: a shield under a mural crown, in greys, where no free image of the crest is
// shipped.
QImage emblemaNeutro() {
    QImage imagem(240, 240, QImage::Format_ARGB32_Premultiplied);
    imagem.setDotsPerMeterX(qRound(300 / 0.0254));
    imagem.setDotsPerMeterY(qRound(300 / 0.0254));
    imagem.fill(Qt::transparent);
    QPainter p(&imagem);
    p.setRenderHint(QPainter::Antialiasing);
    const QPen traco(QColor(0x40, 0x40, 0x40), 5);
    p.setPen(traco);
    // The crown: a wall with three towers.
    p.setBrush(QColor(0xb0, 0xb0, 0xb0));
    p.drawRect(QRectF(60, 34, 120, 26));
    for (int i = 0; i < 3; ++i)
        p.drawRect(QRectF(62 + i * 46, 14, 24, 22));
    // The shield.
    QPainterPath escudo;
    escudo.moveTo(40, 68);
    escudo.lineTo(200, 68);
    escudo.lineTo(200, 150);
    escudo.quadTo(200, 206, 120, 230);
    escudo.quadTo(40, 206, 40, 150);
    escudo.closeSubpath();
    p.setBrush(QColor(0xe8, 0xe8, 0xe8));
    p.drawPath(escudo);
    // A band across it, the simplest charge.
    p.setPen(QPen(QColor(0x70, 0x70, 0x70), 3));
    p.setBrush(QColor(0xc8, 0xc8, 0xc8));
    p.drawRect(QRectF(42, 118, 156, 30));
    return imagem;
}

class Nfse {
public:
    Nfse(ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg, SaidaImpressao& saida)
        : ctx_(ctx), cfg_(cfg), saida_(saida), m_(Modelo::carrega(u":/qel/print/nfse/NFSe.json"_s)) {}

    void imprime(const QString& documento);

private:
    void preenche(const QString& nome, const QString& texto) { Preenche_Memo(m_, nome, texto); }
    QString empresa(int indice) const { return ctx_.dadosEmpresa.value(indice).trimmed(); }
    // The description of an activity line of the company data ("ITEM DA LISTA 1401 ...").
    QString atividade(const QString& prefixo) const;
    void prestador(const NoXml& raiz);
    void tomador(const NoXml& raiz);
    void servico(const NoXml& raiz, const QString& municipio);
    void valores(const NoXml& raiz);

    ContextoImpressao& ctx_;
    const ConfiguracaoEmpresa& cfg_;
    SaidaImpressao& saida_;
    Modelo m_;
};

QString Nfse::atividade(const QString& prefixo) const {
    QString descricao;
    for (qsizetype i = 7; i < ctx_.dadosEmpresa.size(); ++i) {
        const QString linha = ctx_.dadosEmpresa.at(i).trimmed();
        if (linha.startsWith(prefixo, Qt::CaseInsensitive)) descricao += linha.mid(prefixo.size()).trimmed();
    }
    return descricao;
}

void Nfse::imprime(const QString& documento) {
    ctx_.tipo = TipoDocumento::NFSe;
    const QString texto = documento.trimmed().startsWith(u'<') ? documento : lerTexto(documento);
    const LeituraXml leitura = leArvoreXml(texto);
    if (!leitura.raiz) throw ErroInesperado(u"NFS-e ilegível: "_s + leitura.erro);
    const NoXml& raiz = *leitura.raiz;

    // The municipality: of the service, else of the Tecnos declaration.
    QString municipio;
    for (const NoXml* s : raiz.todos(u"Servico"))
        if (municipio.isEmpty()) municipio = s->valor(u"CodigoMunicipio");
    if (municipio.isEmpty()) municipio = raiz.valor(u"InfDeclaracaoPrestacaoServico/IdCidade");
    const QString uf = Converte_UF(municipio.left(2));
    QString cidade = empresa(2);
    if (cidade.isEmpty()) cidade = Nome_Municipio(municipio);
    preenche(u"Prefeitura"_s, u"Estado "_s + nomeDoEstado(uf) + u"|Prefeitura de "_s + cidade +
                                  u"|Secretaria da Fazenda|Nota Fiscal de Serviços Eletrônica - NFSe"_s);
    if (raiz.valor(u"protNfse/infProt/tpAmb") == u"2"_s)
        Preenche_Memo(m_, u"Aviso"_s, u"EMITIDA EM HOMOLOGAÇÃO - SEM VALOR FISCAL"_s);
    const QString logo = caminhoNativo(cfg_.Logotipo);
    if (!cfg_.Logotipo.trimmed().isEmpty() && existeArquivo(logo))
        m_.objeto(u"Logo"_s).carregaImagem(localizaCaminho(logo));
    m_.objeto(u"Brasao"_s).imagem = brasaoMunicipio(municipio);

    // The protocol: verification code, reception, number.
    QString numeroNota, emissao;
    if (const NoXml* prot = raiz.busca(u"protNfse")) {
        const QString verificacao = prot->valor(u"CodigoVerificacao");
        preenche(u"Verificacao"_s, verificacao);
        preenche(u"Verificacao1"_s, verificacao);
        emissao = prot->valor(u"DataRecebimento");
        if (const NoXml* nota = prot->busca(u"NumeroNota"))
            numeroNota = nota->texto.trimmed().isEmpty() ? nota->valor(u"Numero") : nota->texto.trimmed();
    }
    // The RPS of either layout: its number and emission where the protocol has none, its nature.
    for (const QString& secao : {u"InfRps"_s, u"InfDeclaracaoPrestacaoServico"_s}) {
        const NoXml* s = raiz.busca(secao);
        if (!s) continue;
        if (numeroNota.isEmpty()) numeroNota = s->valor(u"Numero");
        if (emissao.isEmpty()) emissao = s->valor(u"DataEmissao");
        QString natureza = s->valor(u"NaturezaOperacao");
        if (natureza.isEmpty()) natureza = s->valor(u"ExigibilidadeISS");
        if (!natureza.isEmpty())
            preenche(u"Natureza"_s, natureza + u" - "_s + Situacao_Tributaria_NFSe(natureza, cidade));
    }
    const QString numeroImpresso = QString::number(static_cast<qint64>(numero(numeroNota)));
    preenche(u"Numero"_s, numeroImpresso);
    preenche(u"Numero1"_s, numeroImpresso);
    preenche(u"Emissao"_s, emissaoDoXml(emissao));
    ctx_.resumo.emissao = emissaoDoXml(emissao);
    ctx_.prefixoPdf = u"C:\\Qel\\NFSe"_s + numeroImpresso;

    prestador(raiz);
    tomador(raiz);
    servico(raiz, municipio);
    valores(raiz);

    Afina_Molduras(m_);
    Relatorio relatorio;
    relatorio.adicionaPagina(m_);
    Saida_Relatorio(relatorio,
                    {cfg_.ImpressoraNFSe,
                     cfg_.NFSE_Copias,
                     u"1"_s,
                     {u"NFS-e "_s + numeroImpresso,
                      u"Qel DFe"_s,
                      u"NFS-e "_s + numeroImpresso + u" de "_s + cidade,
                      u"Qel DFe"_s,
                      u"Qel DFe"_s,
                      {}}},
                    ctx_, cfg_, saida_);
}

void Nfse::prestador(const NoXml& raiz) {
    const NoXml* p = raiz.busca(u"Prestador");
    if (!p) p = raiz.busca(u"PrestadorServico");
    const NoXml vazio;
    const NoXml& prest = p ? *p : vazio;
    preenche(u"Prest_Doc1"_s, Formata_CNPJ(prest.valor(u"Cnpj") + prest.valor(u"Cpf")));
    preenche(u"Prest_IM"_s, prest.valor(u"InscricaoMunicipal"));
    // The company of the task, as its data file describes it; the document's name without it.
    preenche(u"Prest_Nome"_s, empresa(0).isEmpty() ? prest.valor(u"RazaoSocial") : empresa(0));
    preenche(u"Prest_Endereco"_s, empresa(1));
    preenche(u"Prest_Fone"_s, Formata_Fone(empresa(3)));
    preenche(u"Prest_CEP"_s, empresa(4));
    preenche(u"Prest_Email"_s, empresa(5));
    preenche(u"Prest_Bairro"_s, empresa(6));
}

void Nfse::tomador(const NoXml& raiz) {
    const NoXml* t = raiz.busca(u"Tomador");
    if (!t) t = raiz.busca(u"TomadorServico");
    const NoXml vazio;
    const NoXml& tom = t ? *t : vazio;
    const QString documento = Formata_CNPJ(tom.valor(u"Cnpj") + tom.valor(u"Cpf"));
    const QString nome = tom.valor(u"RazaoSocial");
    QString email = tom.valor(u"Email");
    if (const qsizetype p = email.indexOf(u';'); p >= 0) email = email.left(p + 1);
    const QString fone = Formata_Fone(tom.valor(u"Telefone"));
    preenche(u"Tom_Doc1"_s, documento);
    preenche(u"Tom_IM"_s, tom.valor(u"InscricaoMunicipal"));
    preenche(u"Tom_Nome"_s, nome);
    preenche(u"Tom_Email"_s, email);
    preenche(u"Tom_Fone"_s, fone);
    ctx_.resumo.destinatarioNome = nome;
    ctx_.resumo.destinatarioDocumento = documento;
    if (const NoXml* e = tom.busca(u"Endereco")) {
        const QString numeroEndereco = e->valor(u"Numero");
        preenche(u"Tom_Endereco"_s,
                 e->filho(u"Endereco") ? e->filho(u"Endereco")->texto.trimmed() +
                                             (numeroEndereco.isEmpty() ? QString() : u", "_s + numeroEndereco)
                                       : QString());
        // The calling applications write the taker's city into Complemento.
        QString codigo = e->valor(u"CodigoMunicipio");
        if (codigo.isEmpty()) codigo = e->valor(u"Cidade");
        preenche(u"Tom_Cidade"_s, e->valor(u"Complemento") + u", "_s + Converte_UF(codigo.left(2)));
        preenche(u"Tom_Bairro"_s, e->valor(u"Bairro"));
        preenche(u"Tom_CEP"_s, e->valor(u"Cep"));
    }
    preenche(u"Txt_Recebimento"_s,
             u"Recebemos de "_s + nome +
                 u" os serviços constantes na nota fiscal eletrônica indicada ao lado."_s);
    preenche(u"Identificacao"_s, (nome + u' ' + fone).trimmed());
}

void Nfse::servico(const NoXml& raiz, const QString& municipio) {
    const NoXml* s = raiz.busca(u"Servico");
    const NoXml vazio;
    const NoXml& serv = s ? *s : vazio;
    QString cidade = empresa(2);
    if (cidade.isEmpty()) cidade = Nome_Municipio(municipio);
    preenche(u"Prest_Cidade"_s, cidade + u", "_s + Converte_UF(municipio.left(2)));
    QString descricao = serv.valor(u"Discriminacao");
    // The free texts may be in the declaration rather than in the service.
    QString adicional = raiz.valor(u"OutrasInformacoes");
    QString vencimentos;
    const QString vct = u"(VCT)"_s;
    const QString cid = u"(CID)"_s;
    const auto comTracos = [](QString t) { return t.replace(u';', u"  -  "_s); };
    if (const qsizetype p = descricao.indexOf(vct); p >= 0) {
        vencimentos = comTracos(descricao.mid(p + vct.size()));
        descricao = descricao.left(p);
    } else if (const qsizetype q = adicional.indexOf(vct); q >= 0) {
        const qsizetype barra = adicional.indexOf(u'|', q);
        vencimentos = comTracos(adicional.mid(q + vct.size(), barra < 0 ? -1 : barra - q - vct.size()));
        adicional = adicional.left(q) + (barra < 0 ? QString() : adicional.mid(barra + 1));
    }
    if (const qsizetype q = adicional.indexOf(cid); q >= 0) {
        const qsizetype barra = adicional.indexOf(u'|', q);
        preenche(u"Prest_Cidade2"_s,
                 comTracos(adicional.mid(q + cid.size(), barra < 0 ? -1 : barra - q - cid.size())));
        adicional = adicional.left(q) + (barra < 0 ? QString() : adicional.mid(barra + 1));
    }
    preenche(u"Vencimentos"_s, vencimentos.trimmed());
    preenche(u"Desc_Servico"_s, descricao.trimmed());
    preenche(u"Dados_Adicionais"_s, adicional.trimmed());
    encaixaTexto(m_.objeto(u"Desc_Servico"_s));
    encaixaTexto(m_.objeto(u"Dados_Adicionais"_s));

    QString item = serv.valor(u"ItemListaServico");
    item.remove(u'.');
    if (!item.isEmpty()) {
        const QString quatro = QString::number(static_cast<qint64>(numero(item))).rightJustified(4, u'0');
        const QString descricaoItem = atividade(u"ITEM DA LISTA "_s + quatro);
        preenche(u"Item"_s, item + (descricaoItem.isEmpty() ? QString() : u" - "_s + descricaoItem));
    }
    const QString cnae = serv.valor(u"CodigoCnae");
    if (!cnae.isEmpty()) {
        const QString descricaoCnae = atividade(u"CNAE "_s + cnae);
        preenche(u"CNAE"_s, cnae + (descricaoCnae.isEmpty() ? QString() : u" - "_s + descricaoCnae));
    }
}

void Nfse::valores(const NoXml& raiz) {
    const NoXml* v = raiz.busca(u"Valores");
    const NoXml vazio;
    const NoXml& val = v ? *v : vazio;
    const auto valor = [&](const char16_t* nome) {
        QString t = val.valor(QStringView(nome));
        // ABRASF 2 keeps IssRetido beside Valores, in the service.
        if (t.isEmpty()) t = raiz.valor(u"Servico/"_s + QString::fromUtf16(nome));
        return numero(t);
    };
    const double servicos = valor(u"ValorServicos");
    const double deducoes = valor(u"ValorDeducoes");
    const double iss = valor(u"ValorIss");
    const double outras = valor(u"OutrasRetencoes");
    preenche(u"Vlr_Servico"_s, reais(servicos));
    preenche(u"Vlr_Servico2"_s, reais(servicos));
    preenche(u"Descontos"_s, reais(valor(u"DescontoCondicionado")));
    preenche(u"Retencoes"_s, reais(outras));
    preenche(u"ISS_Retido"_s, reais(valor(u"ValorIssRetido")));
    preenche(u"Deducoes"_s, reais(deducoes));
    preenche(u"Desconto_Incondicionado"_s, reais(valor(u"DescontoIncondicionado")));
    const double base = valor(u"BaseCalculo");
    preenche(u"Base_ISS"_s, reais(base > 0 ? base : servicos - deducoes));
    preenche(u"Vlr_ISS"_s, reais(iss));
    preenche(u"PIS"_s, reais(valor(u"ValorPis")));
    preenche(u"Cofins"_s, reais(valor(u"ValorCofins")));
    preenche(u"CSLL"_s, reais(valor(u"ValorCsll")));
    preenche(u"IR"_s, reais(valor(u"ValorIr")));
    preenche(u"INSS"_s, reais(valor(u"ValorInss")));
    preenche(u"Outras"_s, reais(outras));
    // A rate given as a fraction prints as a percentage.
    const double aliquota = valor(u"Aliquota");
    preenche(u"Aliquota"_s,
             Formata_Valor(u"##0.00"_s, aliquota > 1 ? aliquota : aliquota * 100).trimmed() + u" %"_s);
    double liquido = valor(u"ValorLiquidoNfse");
    if (liquido == 0) {
        liquido = servicos - outras - valor(u"DescontoIncondicionado") - valor(u"DescontoCondicionado") -
                  valor(u"ValorCsll") - valor(u"ValorCofins") - valor(u"ValorPis") - valor(u"ValorIr") -
                  valor(u"ValorInss");
        QString retido = val.valor(u"IssRetido");
        if (retido.isEmpty()) retido = raiz.valor(u"Servico/IssRetido");
        if (retido == u"1"_s) {
            liquido -= iss;
            preenche(u"Vlr_ISS"_s, reais(0));
            preenche(u"ISS_Retido"_s, reais(iss));
        }
    }
    preenche(u"Vlr_Nota"_s, reais(liquido));
}

} // namespace

QImage brasaoMunicipio(const QString& codigo) {
    const QString c = codigo.trimmed();
    if (!kMunicipiosAtendidos.contains(c)) return {};
    QImage imagem(u":/qel/print/nfse/brasoes/Cid"_s + c + u".png"_s);
    if (!imagem.isNull()) return imagem;
    static const QImage neutro = emblemaNeutro();
    return neutro;
}

void imprimeNfse(const QString& documento, ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg,
                 SaidaImpressao& saida) {
    if (documento.trimmed().isEmpty()) return;
    Nfse(ctx, cfg, saida).imprime(documento);
}

} // namespace qel

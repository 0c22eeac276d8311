#include "print/damdfe/damdfe.h"

#include "print/codigo_barras.h"
#include "print/codigo_qr.h"
#include "print/impressao.h"
#include "util/arquivos.h"
#include "util/leitor_xml.h"
#include "util/numeros.h"
#include "util/posicoes.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// Documents the first page lists per column.
constexpr int kDocumentosPorColuna = 33;

double numero(const QString& texto) {
    try {
        return Texto_Decimal(texto);
    } catch (const std::exception&) {
        return 0;
    }
}

// An amount or weight of the document with the decimal comma; blank stays blank.
QString quantia(const QString& mascara, const QString& texto) {
    return texto.trimmed().isEmpty() ? QString() : Formata_Valor(mascara, numero(texto)).trimmed();
}

struct Linha {
    QString municipio, tipo, chave;
};

class Damdfe {
public:
    Damdfe(ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg, SaidaImpressao& saida)
        : ctx_(ctx), cfg_(cfg), saida_(saida) {}

    void imprime(const QString& documento);

private:
    QString busca(const QString& nome, const QString& grupo = {}, int indice = 0) const {
        return textoDoXml(leitor_.Busca_Valor(nome, grupo, indice));
    }
    void preenche(Modelo& m, const QString& nome, const QString& texto) {
        Preenche_Memo(m, nome, texto, VarianteMemo::SemVaziosMeio);
    }
    void cabecalho(Modelo& m);
    void modalRodoviario(Modelo& m);
    QList<Linha> documentos();
    void colunas(Modelo& m, const QList<Linha>& primeira, const QList<Linha>& segunda);

    ContextoImpressao& ctx_;
    const ConfiguracaoEmpresa& cfg_;
    SaidaImpressao& saida_;
    LeitorXml leitor_{u"MDFe"_s};
    QString nMDF_, serie_, modelo_, emissao_, hora_, protocolo_, aviso_, dadosEmpresa_;
    Simbolo barras_, qr_;
    QImage logo_;
};

void Damdfe::imprime(const QString& documento) {
    ctx_.tipo = TipoDocumento::MDFe;
    leitor_.Carrega_XML(documento);
    const QList<Ocorrencia> qr = Ocorrencias(leitor_.linhas(), u"qrCodMDFe"_s);
    if (!qr.isEmpty() && !qr.first().valor().trimmed().isEmpty())
        qr_ = simboloQr(qr.first().valor().trimmed());
    ctx_.chave = leitor_.Busca_Valor(u"Chave de Acesso"_s);

    // The manifest shows only whether it was transmitted (and, in homologation, that it is worth
    // nothing): its closing and cancellation are events of their own.
    leitor_.Seleciona_Grupo(u"ide"_s);
    if (busca(u"tpAmb"_s) == u"2"_s) aviso_ = u"SEM VALOR FISCAL"_s;
    leitor_.Seleciona_Grupo(u"protMDFe"_s);
    const QString nProt = busca(u"nProt"_s);
    if (nProt.trimmed().isEmpty()) {
        aviso_ = u"Não Transmitida"_s;
    } else {
        const QString recebido = busca(u"dhRecbto"_s);
        protocolo_ = nProt + u"   -   "_s + dataDoXml(recebido) + u"   -   "_s + horaDoXml(recebido);
    }

    const QString logo = caminhoNativo(cfg_.Logotipo);
    if (Copia(ctx_.chave, 7, 14) == CnpjSemPontuacao(ctx_.cnpj) && !cfg_.Logotipo.trimmed().isEmpty() &&
        existeArquivo(logo))
        logo_.load(localizaCaminho(logo));
    if (!ctx_.chave.trimmed().isEmpty()) barras_ = simboloBarras(ctx_.chave);

    leitor_.Seleciona_Grupo(u"ide"_s);
    nMDF_ = busca(u"nMDF"_s);
    serie_ = busca(u"serie"_s);
    modelo_ = busca(u"mod"_s);
    const QString emissao = busca(u"dhEmi"_s);
    emissao_ = dataDoXml(emissao);
    hora_ = horaDoXml(emissao);
    ctx_.resumo.emissao = emissao_ + u" - "_s + hora_;
    ctx_.prefixoPdf = u"C:\\Qel\\DaMDFe"_s + QString::number(static_cast<qint64>(numero(nMDF_)));

    QList<Modelo> paginas{Modelo::carrega(u":/qel/print/damdfe/MDFe.json"_s)};
    Modelo& m = paginas.first();
    preenche(m, u"UF_Carregamento"_s, busca(u"UFIni"_s));
    preenche(m, u"UF_Descarrego"_s, busca(u"UFFim"_s));

    leitor_.Seleciona_Grupo(u"emit"_s);
    const QString fone = busca(u"fone"_s);
    ctx_.resumo.emitenteNome = busca(u"xNome"_s);
    ctx_.resumo.emitenteCidade = busca(u"xMun"_s);
    ctx_.resumo.emitenteFone = fone;
    dadosEmpresa_ = busca(u"xNome"_s) + u'|' + busca(u"xLgr"_s) + u", "_s + busca(u"nro"_s) + u'|' +
                    busca(u"xBairro"_s) + u'|' + busca(u"xMun"_s) + u" - "_s + busca(u"UF"_s) + u"|CNPJ "_s +
                    Formata_CNPJ(busca(u"CNPJ"_s) + busca(u"CPF"_s)) + u"|IE "_s + busca(u"IE"_s) + u'|' +
                    Formata_Fone(fone);
    cabecalho(m);
    modalRodoviario(m);

    leitor_.Seleciona_Grupo(u"tot"_s);
    preenche(m, u"Valor_Total"_s, quantia(u"###,###,##0.00"_s, busca(u"vCarga"_s)));
    preenche(m, u"Peso_Total"_s, quantia(u"###,###,##0.0000"_s, busca(u"qCarga"_s)));
    for (const auto& [caixa, elemento] : {std::pair{u"Quantidade_CTe"_s, u"qCTe"_s},
                                          {u"Quantidade_CT"_s, u"qCT"_s},
                                          {u"Quantidade_NFe"_s, u"qNFe"_s},
                                          {u"Quantidade_NF"_s, u"qNF"_s}}) {
        const QString q = busca(elemento);
        preenche(m, caixa, q.trimmed().isEmpty() ? u"-"_s : q);
    }

    // Insurance: the first group; without one the contracting party answers for the cargo.
    const QList<Ocorrencia> seguros = Ocorrencias(leitor_.linhas(), u"seg"_s);
    const Ocorrencia seguro = seguros.isEmpty() ? Ocorrencia() : seguros.first();
    preenche(m, u"Seguro_Responsavel"_s,
             seguro.valor(u"infResp/respSeg"_s) == u"1"_s ? u"Emitente"_s : u"Contratante"_s);
    preenche(m, u"Seguro_Apolice"_s, seguro.valor(u"nApol"_s));
    preenche(m, u"Seguro_Averbacao"_s, seguro.valor(u"nAver"_s));
    preenche(m, u"Seguro_CNPJ"_s, Formata_CNPJ(seguro.valor(u"infSeg/CNPJ"_s)));
    preenche(m, u"Seguro_Nome"_s, seguro.valor(u"infSeg/xSeg"_s));

    leitor_.Seleciona_Grupo(u"infAdic"_s);
    preenche(m, u"Obs_Contribuinte"_s, busca(u"infCpl"_s));
    preenche(m, u"Obs_Fisco"_s, busca(u"infAdFisco"_s));
    encaixaTexto(m.objeto(u"Obs_Contribuinte"_s));
    encaixaTexto(m.objeto(u"Obs_Fisco"_s));

    // The documents: two columns on the first page, the rest on continuation pages.
    const QList<Linha> lista = documentos();
    colunas(m, lista.mid(0, kDocumentosPorColuna), lista.mid(kDocumentosPorColuna, kDocumentosPorColuna));
    const qsizetype noPrimeira = 2 * kDocumentosPorColuna;
    if (lista.size() > noPrimeira) {
        Modelo molde = Modelo::carrega(u":/qel/print/damdfe/MDFe_Continuacao.json"_s);
        cabecalho(molde);
        const int porColuna = linhasQueCabem(molde.objeto(u"Documentos_Numero"_s));
        for (qsizetype i = noPrimeira; i < lista.size(); i += 2 * porColuna) {
            Modelo pagina = molde;
            colunas(pagina, lista.mid(i, porColuna), lista.mid(i + porColuna, porColuna));
            paginas.append(pagina);
        }
        preenche(paginas.first(), u"Continua_Docs"_s,
                 u"Continua na folha 2: "_s + QString::number(lista.size()) + u" documentos"_s);
    }

    Relatorio relatorio;
    for (qsizetype i = 0; i < paginas.size(); ++i) {
        preenche(paginas[i], u"Folha"_s, QString::number(i + 1) + u'/' + QString::number(paginas.size()));
        Afina_Molduras(paginas[i]);
        relatorio.adicionaPagina(paginas.at(i));
    }
    const QString nMDF = QString::number(static_cast<qint64>(numero(nMDF_)));
    Saida_Relatorio(relatorio,
                    {cfg_.ImpressoraMDF,
                     cfg_.MDF_Copias,
                     u"1"_s,
                     {u"DAMDFE "_s + nMDF,
                      u"Qel DFe"_s,
                      u"DAMDFE do MDF-e "_s + ctx_.chave,
                      u"Qel DFe"_s,
                      u"Qel DFe"_s,
                      {}}},
                    ctx_, cfg_, saida_);
}

void Damdfe::cabecalho(Modelo& m) {
    preenche(m, u"Nro"_s, numeroDocumento(nMDF_));
    preenche(m, u"Serie"_s, serie_);
    preenche(m, u"Modelo"_s, modelo_);
    preenche(m, u"Emissao"_s, emissao_);
    preenche(m, u"Hora"_s, hora_);
    preenche(m, u"Modal"_s, u"Rodoviário"_s);
    preenche(m, u"Chave"_s, chaveAgrupada(ctx_.chave));
    preenche(m, u"Protocolo"_s, protocolo_);
    preenche(m, u"Dados_empresa"_s, dadosEmpresa_);
    Preenche_Memo(m, u"Aviso"_s, aviso_);
    m.objeto(u"Barras"_s).defineSimbolo(barras_);
    m.objeto(u"Logo"_s).imagem = logo_;
    if (m.tem(u"QRCode"_s)) m.objeto(u"QRCode"_s).defineSimbolo(qr_);
}

// The road modal by the paths of layout 3.00: the company's RNTRC and CIOT are in its ANTT group,
// an owner's RNTRC in the vehicle's, so neither is taken for the other.
void Damdfe::modalRodoviario(Modelo& m) {
    const QList<Ocorrencia> rodo = Ocorrencias(leitor_.linhas(), u"rodo"_s);
    if (rodo.isEmpty()) return;
    const Ocorrencia& r = rodo.first();
    const QString rntrc = r.valor(u"infANTT/RNTRC"_s);
    preenche(m, u"RNTRC"_s, rntrc);
    preenche(m, u"CIOT"_s, r.valores(u"infANTT/infCIOT/CIOT"_s).join(u'|'));
    const QList<Ocorrencia> vales = Ocorrencias(leitor_.linhas(), u"disp"_s);
    QStringList compras, valores;
    for (const Ocorrencia& v : vales) {
        compras.append(v.valor(u"nCompra"_s));
        valores.append(quantia(u"###,###,##0.00"_s, v.valor(u"vValePed"_s)));
    }
    preenche(m, u"Pedagio_Doc"_s, compras.join(u'|'));
    preenche(m, u"Pedagio_Vlr"_s, valores.join(u'|'));

    // The traction unit, then its trailers: each with its own plate, state and owner's RNTRC (the
    // company's when the vehicle is its own).
    QStringList placas, ufs, rntrcs;
    const auto veiculo = [&](const Ocorrencia& v) {
        placas.append(v.valor(u"placa"_s));
        ufs.append(v.valor(u"UF"_s));
        rntrcs.append(v.valor(u"prop/RNTRC"_s).isEmpty() ? rntrc : v.valor(u"prop/RNTRC"_s));
    };
    const QList<Ocorrencia> tracao = Ocorrencias(leitor_.linhas(), u"veicTracao"_s);
    for (const Ocorrencia& v : tracao)
        veiculo(v);
    for (const Ocorrencia& v : Ocorrencias(leitor_.linhas(), u"veicReboque"_s))
        veiculo(v);
    m.objeto(u"Veiculo_placa"_s).linhas = placas;
    m.objeto(u"Veiculo_uf"_s).linhas = ufs;
    m.objeto(u"Veiculo_RNTRC"_s).linhas = rntrcs;
    QStringList cpfs, nomes;
    for (const Ocorrencia& c : Ocorrencias(leitor_.linhas(), u"condutor"_s)) {
        cpfs.append(Formata_CNPJ(c.valor(u"CPF"_s)));
        nomes.append(c.valor(u"xNome"_s));
    }
    m.objeto(u"Condutor_CPF"_s).linhas = cpfs;
    m.objeto(u"Condutor_Nome"_s).linhas = nomes;
    for (const char16_t* nome :
         {u"Veiculo_placa", u"Veiculo_uf", u"Veiculo_RNTRC", u"Condutor_CPF", u"Condutor_Nome"})
        encaixaTexto(m.objeto(QString::fromUtf16(nome)));
}

// Every document of every unloading municipality, in the order of the manifest.
QList<Linha> Damdfe::documentos() {
    QList<Linha> lista;
    const auto tipo = [](const QString& sigla, const QString& chave) {
        return sigla + u' ' + QString::number(Copia(chave, 26, 9).toLongLong());
    };
    for (const Ocorrencia& municipio : Ocorrencias(leitor_.linhas(), u"infMunDescarga"_s)) {
        const QString nome = municipio.valor(u"xMunDescarga"_s);
        for (const QString& chave : municipio.valores(u"infCTe/chCTe"_s))
            lista.append({nome, tipo(u"CTe"_s, chave), chave});
        for (const QString& chave : municipio.valores(u"infNFe/chNFe"_s))
            lista.append({nome, tipo(u"NFe"_s, chave), chave});
        for (const QString& chave : municipio.valores(u"infMDFeTransp/chMDFe"_s))
            lista.append({nome, tipo(u"MDFe"_s, chave), chave});
    }
    return lista;
}

void Damdfe::colunas(Modelo& m, const QList<Linha>& primeira, const QList<Linha>& segunda) {
    const auto coluna = [&m](const QString& sufixo, const QList<Linha>& linhas) {
        QStringList municipios, tipos, chaves;
        for (const Linha& l : linhas) {
            municipios.append(l.municipio);
            tipos.append(l.tipo);
            chaves.append(l.chave);
        }
        m.objeto(u"Documentos_Municipio"_s + sufixo).linhas = municipios;
        m.objeto(u"Documentos_Tipo"_s + sufixo).linhas = tipos;
        m.objeto(u"Documentos_Numero"_s + sufixo).linhas = chaves;
    };
    coluna(QString(), primeira);
    coluna(u"1"_s, segunda);
}

} // namespace

void imprimeDamdfe(const QString& documento, ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg,
                   SaidaImpressao& saida) {
    if (documento.trimmed().isEmpty()) return;
    Damdfe damdfe(ctx, cfg, saida);
    damdfe.imprime(documento);
}

} // namespace qel

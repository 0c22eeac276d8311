#include "print/impressao.h"

#include "util/arquivos.h"
#include "util/erros.h"
#include "util/posicoes.h"
#include "util/texto.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qel {

void Preenche_Memo(Modelo& modelo, const QString& nome, const QString& valor, VarianteMemo variante) {
    Objeto& memo = modelo.objeto(nome);
    memo.limpa();
    if (nome.compare(u"Aviso"_s, Qt::CaseInsensitive) == 0) memo.visivel = !valor.trimmed().isEmpty();
    QStringList pedacos = valor.split(u'|');
    if (variante == VarianteMemo::SemVaziosMeio) {
        QStringList mantidos;
        for (qsizetype i = 0; i < pedacos.size(); ++i)
            if (i == 0 || i == pedacos.size() - 1 || !pedacos.at(i).trimmed().isEmpty())
                mantidos.append(pedacos.at(i));
        pedacos = mantidos;
    }
    if (variante == VarianteMemo::DadosAdicionais &&
        nome.compare(u"Dados_Adicionais"_s, Qt::CaseInsensitive) == 0 && pedacos.size() > 16) {
        Objeto& segundo = modelo.objeto(u"Dados_Adicionais2"_s);
        segundo.limpa();
        segundo.linhas = pedacos.mid(16);
        pedacos = pedacos.mid(0, 16);
    }
    memo.linhas = pedacos;
}

QStringList Quebra_Texto(const Modelo& modelo, const QString& texto, double larguraPrimeira,
                         double larguraDemais, int numeroMemo) {
    QStringList linhas;
    const QStringList pedacos = texto.split(u'|');
    for (qsizetype i = 0; i < pedacos.size(); ++i)
        if (i == pedacos.size() - 1 || !pedacos.at(i).isEmpty()) linhas.append(pedacos.at(i));

    Objeto medidor = modelo.objeto(u"Teste"_s + QString::number(numeroMemo));
    const auto largura = [&](const QString& linha) {
        medidor.defineTexto(linha);
        return medidor.larguraTexto();
    };
    for (qsizetype i = 0; i < linhas.size(); ++i) {
        const double permitida = i > 0 && larguraDemais > larguraPrimeira ? larguraDemais : larguraPrimeira;
        const QString original = linhas.at(i);
        QString linha = original;
        qsizetype fim = linha.size();
        bool cortou = false;
        while (largura(linha) > permitida) {
            qsizetype corte = -1;
            for (qsizetype j = fim - 1; j > 0; --j) {
                if (original.at(j) == u' ' || original.at(j) == u',') {
                    corte = j;
                    break;
                }
            }
            if (corte < 0) break; // one word wider than the box: it stays whole
            fim = corte;
            linha = original.left(corte).trimmed();
            cortou = true;
        }
        if (cortou) {
            linhas[i] = linha;
            linhas.insert(i + 1, original.mid(fim).trimmed());
        }
    }
    return linhas;
}

void Afina_Molduras(Modelo& modelo) {
    for (Objeto& o : modelo.objetos())
        if (o.tipo == TipoObjeto::Forma) o.espessura = 0;
}

int linhasQueCabem(const Objeto& memo) {
    Objeto medidor = memo;
    medidor.linhas = QStringList{u"0"_s};
    int linhas = 1;
    while (linhas < 10000) {
        medidor.linhas.append(u"0"_s);
        if (medidor.alturaTexto() > memo.geometria.height()) break;
        ++linhas;
    }
    return linhas;
}

void encaixaTexto(Objeto& memo, double menor) {
    while (memo.fonte.pointSizeF() - 0.5 >= menor && memo.alturaTexto() > memo.geometria.height())
        memo.fonte.setPointSizeF(memo.fonte.pointSizeF() - 0.5);
}

QString dataDoXml(const QString& valor) {
    if (valor.trimmed().isEmpty()) return {};
    return Copia(valor, 9, 2) + u'/' + Copia(valor, 6, 2) + u'/' + Copia(valor, 1, 4);
}

QString horaDoXml(const QString& valor) {
    return Copia(valor, 12, 8);
}

QString numeroDocumento(const QString& numero) {
    const QString n = Somente_Numeros(numero, u"N"_s, 9);
    return n.left(3) + u'.' + n.mid(3, 3) + u'.' + n.mid(6, 3);
}

QString chaveAgrupada(const QString& chave) {
    if (chave.size() != 44) return chave;
    return chave.left(2) + u'.' + chave.mid(2, 4) + u'.' + chave.mid(6, 14) + u'.' + chave.mid(20, 2) + u'.' +
           chave.mid(22, 3) + u'.' + chave.mid(25, 9) + u'.' + chave.mid(34, 9) + u'-' + chave.mid(43, 1);
}

QString decimalDoXml(const QString& valor) {
    QString texto = valor;
    texto.remove(u',');
    return texto.replace(u'.', u',');
}

bool Deve_Imprimir(const QString& tarefa, TipoDocumento tipo, const ConfiguracaoEmpresa& cfg,
                   const QString& nomeBase) {
    if (tarefa.trimmed().toUpper() != u"RECEPCAO"_s) return true;
    using Cfg = ConfiguracaoEmpresa;
    struct Marcas {
        TipoDocumento tipo;
        bool Cfg::*seEmail;
        bool Cfg::*auto_;
    };
    static const Marcas porTipo[] = {
        {TipoDocumento::NFe, &Cfg::Chb_ImpEmail_NFe, &Cfg::Chb_Imp_NFe},
        {TipoDocumento::NFCe, &Cfg::Chb_ImpEmail_NFCe, &Cfg::Chb_Imp_NFCe},
        {TipoDocumento::CTe, &Cfg::Chb_ImpEmail_CTe, &Cfg::Chb_Imp_CTe},
        {TipoDocumento::MDFe, &Cfg::Chb_ImpEmail_MDFe, &Cfg::Chb_Imp_MDFe},
        {TipoDocumento::NFSe, &Cfg::Chb_ImpEmail_NFSe, &Cfg::Chb_Imp_NFSe},
    };
    for (const Marcas& m : porTipo) {
        if (tipo != m.tipo) continue;
        bool imprime = true;
        if (cfg.*m.seEmail && existeArquivo(nomeBase + u".EML"_s)) imprime = false;
        if (cfg.*m.auto_) imprime = false;
        return imprime;
    }
    return true;
}

QString arquivoPdf(const QString& nomePdfTarefa, const QString& prefixo, const QString& sufixo) {
    if (!nomePdfTarefa.trimmed().isEmpty()) return caminhoNativo(nomePdfTarefa.trimmed());
    return caminhoNativo(prefixo) + u'-' + sufixo + u".PDF"_s;
}

QString impressoraDaConfiguracao(const QString& configuracao) {
    const QString nome = configuracao.trimmed();
    return nome == u"Impressora Padrao do Windows"_s ? QString() : nome;
}

void Saida_Relatorio(const Relatorio& relatorio, const DestinoRelatorio& destino, ContextoImpressao& ctx,
                     const ConfiguracaoEmpresa& cfg, SaidaImpressao& saida) {
    const QString impressora = impressoraDaConfiguracao(destino.impressora);
    const QString tarefa = ctx.tarefa.trimmed().toUpper();
    if (tarefa == u"IMPRIMIR"_s) {
        saida.visualiza(relatorio, impressora, false);
        return;
    }
    if (tarefa != u"GERAR PDF"_s && Deve_Imprimir(ctx.tarefa, ctx.tipo, cfg, ctx.nomeBase)) {
        const int copias =
            destino.copias.isEmpty() ? 0 : static_cast<int>(numeroConfiguracao(destino.copias));
        if (copias > 0) {
            // A printer that is gone stops the task: the user must know the copies were not made.
            if (!saida.imprime(relatorio, impressora, copias))
                throw ErroInesperado(u"Não foi possível imprimir na impressora "_s +
                                     (impressora.isEmpty() ? u"padrão"_s : impressora));
        } else {
            saida.visualiza(relatorio, impressora, true);
        }
    }
    if (cfg.Sem_Email_Auto || ctx.nomeBase.trimmed().isEmpty()) return;
    const QString arquivo = arquivoPdf(ctx.nomePdfTarefa, ctx.prefixoPdf, destino.sufixoPdf);
    Prepara_Pasta(arquivo, u"N"_s);
    InformacaoPdf informacao = destino.informacao;
    informacao.criacao = ctx.criacao;
    if (!relatorio.exportaPdf(localizaCaminho(arquivo), informacao))
        throw ErroInesperado(u"Não foi possível gravar o PDF "_s + arquivo);
    ctx.pdfsGerados.append(arquivo);
}

QString textoDoXml(const QString& valor) {
    if (!valor.contains(u'&')) return valor;
    static const QRegularExpression entidade(u"&(#x[0-9A-Fa-f]+|#[0-9]+|lt|gt|amp|quot|apos);"_s);
    QString saida;
    qsizetype de = 0;
    for (auto it = entidade.globalMatch(valor); it.hasNext();) {
        const auto m = it.next();
        saida += QStringView(valor).mid(de, m.capturedStart() - de);
        const QString nome = m.captured(1);
        if (nome.startsWith(u'#')) {
            bool ok = false;
            const uint codigo =
                nome.startsWith(u"#x"_s) ? nome.mid(2).toUInt(&ok, 16) : nome.mid(1).toUInt(&ok);
            const char32_t c = static_cast<char32_t>(codigo);
            saida += ok && codigo > 0 && codigo <= 0x10FFFF ? QString::fromUcs4(&c, 1) : m.captured(0);
        } else {
            saida += nome == u"lt"_s     ? u"<"_s
                     : nome == u"gt"_s   ? u">"_s
                     : nome == u"amp"_s  ? u"&"_s
                     : nome == u"quot"_s ? u"\""_s
                                         : u"'"_s;
        }
        de = m.capturedEnd();
    }
    saida += QStringView(valor).mid(de);
    return saida;
}

namespace {

// The name of the element a line opens or closes ("</a>" and "<a b='c'>" both give "A").
QString nomeDaTag(const QString& linha) {
    qsizetype i = linha.startsWith(u"</"_s) ? 2 : 1;
    const qsizetype inicio = i;
    while (i < linha.size() && linha.at(i) != u'>' && linha.at(i) != u'/' && !linha.at(i).isSpace())
        ++i;
    return linha.mid(inicio, i - inicio).toUpper();
}

void leAtributos(const QString& abertura, QHash<QString, QString>& atributos) {
    static const QRegularExpression atributo(
        u"([A-Za-z_:][-A-Za-z0-9_:.]*)\\s*=\\s*(\"([^\"]*)\"|'([^']*)')"_s);
    for (auto it = atributo.globalMatch(abertura); it.hasNext();) {
        const auto m = it.next();
        atributos.insert(m.captured(1).toUpper(),
                         textoDoXml(m.captured(3).isNull() ? m.captured(4) : m.captured(3)));
    }
}

} // namespace

QList<Ocorrencia> Ocorrencias(const QStringList& linhas, const QString& nome) {
    const QString procurado = nome.toUpper();
    QList<Ocorrencia> resultado;
    QStringList abertos; // the elements open inside the current occurrence, outermost first
    bool dentro = false;
    const auto guarda = [&](const QString& caminho, const QString& texto) {
        resultado.last().valores_[caminho].append(texto);
    };
    for (const QString& bruta : linhas) {
        const QString linha = bruta.trimmed();
        if (linha.isEmpty() || linha.startsWith(u"<?"_s) || linha.startsWith(u"<!--"_s)) continue;
        if (linha.startsWith(u"<![CDATA["_s)) {
            if (dentro) guarda(abertos.join(u'/'), linha.mid(9, linha.size() - 12));
            continue;
        }
        if (!linha.startsWith(u'<')) continue; // text split over lines: the first line is the value
        if (linha.startsWith(u"</"_s)) {
            if (!dentro) continue;
            if (abertos.isEmpty()) {
                dentro = false;
            } else {
                abertos.removeLast();
            }
            continue;
        }
        const QString tag = nomeDaTag(linha);
        const qsizetype fimAbertura = linha.indexOf(u'>');
        const bool vazio = fimAbertura > 0 && linha.at(fimAbertura - 1) == u'/';
        const qsizetype fecha = linha.lastIndexOf(u"</"_s);
        const bool comTexto = !vazio && fecha > fimAbertura;
        if (!dentro) {
            if (tag != procurado) continue;
            resultado.append(Ocorrencia());
            leAtributos(linha.left(fimAbertura), resultado.last().atributos_);
            if (comTexto) {
                guarda(QString(), textoDoXml(linha.mid(fimAbertura + 1, fecha - fimAbertura - 1)));
            } else if (!vazio) {
                dentro = true;
                abertos.clear();
            }
            continue;
        }
        const QString caminho = abertos.isEmpty() ? tag : abertos.join(u'/') + u'/' + tag;
        if (comTexto)
            guarda(caminho, textoDoXml(linha.mid(fimAbertura + 1, fecha - fimAbertura - 1)));
        else if (vazio)
            guarda(caminho, QString());
        else
            abertos.append(tag);
    }
    return resultado;
}

} // namespace qel

#include "ws/enderecos.h"

#include "util/arquivos.h"
#include "util/tabelas.h"

#include <QFile>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

QString leRecurso(const QString& caminho) {
    QFile f(caminho);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString vazioSeTraco(const QString& v) {
    return v == u"-"_s ? QString() : v;
}

// The meaningful lines of a data file: comments and blank lines left out, fields split at
// blanks; each with its line number.
QList<std::pair<int, QStringList>> linhasDeDados(const QString& texto) {
    static const QRegularExpression espacos(u"\\s+"_s);
    QList<std::pair<int, QStringList>> linhas;
    int numero = 0;
    for (const QString& linha : divideLinhas(texto)) {
        ++numero;
        const QString limpa = linha.trimmed();
        if (limpa.isEmpty() || limpa.startsWith(u'#')) continue;
        linhas.append({numero, limpa.split(espacos)});
    }
    return linhas;
}

const QString kGrupoSvc = u"SVC-NFe"_s;

QString chave(const QString& a, const QString& b) {
    return a + u'|' + b;
}

QString chaveConsulta(const QString& cUF, Ambiente ambiente) {
    return chave(cUF, ambiente == Ambiente::Homologacao ? u"2"_s : u"1"_s);
}

// A QR page is opened by a phone's reader: it must be a web address.
bool enderecoWeb(const QString& valor) {
    return valor.startsWith(u"https://"_s) || valor.startsWith(u"http://"_s);
}

} // namespace

TabelaEnderecos TabelaEnderecos::carrega(const ConfiguracaoRede& rede) {
    TabelaEnderecos t;
    t.leHosts(leRecurso(u":/qel/ws/hosts.conf"_s), u"hosts.conf"_s);
    t.leEnderecos(leRecurso(u":/qel/ws/enderecos.conf"_s), u"enderecos.conf"_s);
    t.leEnderecos(leRecurso(u":/qel/ws/consulta_nfce.conf"_s), u"consulta_nfce.conf"_s);
    if (!rede.arquivoHosts.isEmpty() && existeArquivo(rede.arquivoHosts))
        t.leHosts(lerTexto(rede.arquivoHosts), rede.arquivoHosts);
    if (!rede.arquivoEnderecos.isEmpty() && existeArquivo(rede.arquivoEnderecos))
        t.leEnderecos(lerTexto(rede.arquivoEnderecos), rede.arquivoEnderecos);
    t.defineHostUnico(rede.hostUnico);
    return t;
}

void TabelaEnderecos::leHosts(const QString& texto, const QString& origem) {
    for (const auto& [numero, campos] : linhasDeDados(texto)) {
        if (campos.size() != 3) {
            erros_.append(origem + u':' + QString::number(numero) + u": "_s + campos.join(u' '));
            continue;
        }
        hosts_.insert(campos.at(0), {vazioSeTraco(campos.at(1)), vazioSeTraco(campos.at(2))});
    }
}

void TabelaEnderecos::leEnderecos(const QString& texto, const QString& origem) {
    QList<std::pair<QString, QString>> nomes;
    const auto expande = [&](QString valor) {
        for (const auto& [nome, conteudo] : std::as_const(nomes))
            valor.replace(u'{' + nome + u'}', conteudo);
        return vazioSeTraco(valor);
    };
    for (const auto& [numero, c] : linhasDeDados(texto)) {
        const QString tipo = c.first();
        if (tipo == u"defina"_s && c.size() == 3) {
            nomes.append({c.at(1), c.at(2)});
        } else if (tipo == u"servico"_s && c.size() == 9) {
            bool portaOk = c.at(4) == u"-"_s;
            const int porta = portaOk ? 0 : c.at(4).toInt(&portaOk);
            if (!portaOk || (c.at(2) != u"*"_s && !servicoDoNome(c.at(2)))) {
                erros_.append(origem + u':' + QString::number(numero) + u": "_s + c.join(u' '));
                continue;
            }
            servicos_.insert(chave(c.at(1), c.at(2)), {c.at(3), porta, expande(c.at(5)), expande(c.at(6)),
                                                       expande(c.at(7)), vazioSeTraco(c.at(8))});
        } else if (tipo == u"atende"_s && (c.size() == 5 || (c.size() == 4 && c.at(3) == u"-"_s))) {
            QList<Atende>& lista = atende_[chave(c.at(1), c.at(2))];
            if (c.at(3) == u"-"_s) {
                lista.clear();
                continue;
            }
            const QString& conjunto = c.at(3);
            lista.removeIf([&](const Atende& a) { return a.conjunto == conjunto; });
            lista.append({c.at(3), c.at(4)});
        } else if (tipo == u"consulta-nfce"_s && c.size() == 5 && (c.at(2) == u"1"_s || c.at(2) == u"2"_s) &&
                   enderecoWeb(c.at(3))) {
            consultaNfce_.insert(chave(c.at(1), c.at(2)), {c.at(3), c.at(4)});
        } else {
            erros_.append(origem + u':' + QString::number(numero) + u": "_s + c.join(u' '));
        }
    }
}

QString TabelaEnderecos::hostDoPapel(const QString& papel, Ambiente ambiente) const {
    const auto par = hosts_.value(papel);
    return ambiente == Ambiente::Homologacao ? par.second : par.first;
}

std::optional<Endpoint> TabelaEnderecos::procura(const QString& grupo, const QString& chaveGrupo,
                                                 Servico servico, Ambiente ambiente, bool redireciona) const {
    auto linhas = atende_.constFind(chave(grupo, chaveGrupo));
    if (linhas == atende_.cend()) linhas = atende_.constFind(chave(grupo, u"*"_s));
    if (linhas == atende_.cend()) return std::nullopt;
    std::optional<Endpoint> semHost;
    for (const Atende& a : *linhas) {
        auto s = servicos_.constFind(chave(a.conjunto, nome(servico)));
        if (s == servicos_.cend()) s = servicos_.constFind(chave(a.conjunto, u"*"_s));
        if (s == servicos_.cend()) continue;
        Endpoint e;
        const QString host = hostDoPapel(a.papel, ambiente);
        // Every request to one place (the local simulator), scheme and path kept; also the
        // services whose host the installation has not set yet (the municipal providers).
        if (redireciona && !hostUnico_.isEmpty())
            e.endereco = s->esquema + u"://"_s + hostUnico_ + s->caminho;
        else if (!host.isEmpty())
            e.endereco = s->esquema + u"://"_s + host +
                         (s->porta > 0 ? u':' + QString::number(s->porta) : QString()) + s->caminho;
        if (s->namespace_ == u"Qel-Post"_s)
            e.envio = Envio::QelPost;
        else if (s->namespace_ == u"Qel-Get"_s)
            e.envio = Envio::QelGet;
        else
            e.namespace_ = s->namespace_;
        e.acao = s->acao.isEmpty() ? e.namespace_ : s->acao;
        e.versao = s->versao.isEmpty() ? u"2.00"_s : s->versao;
        // A set without a host in this environment gives way to the next set that has one.
        if (e.endereco.isEmpty()) {
            if (!semHost) semHost = e;
            continue;
        }
        return e;
    }
    return semHost;
}

bool TabelaEnderecos::Endereco_WebService(const ChaveEndpoint& c, Endpoint& endpoint) const {
    endpoint = {};
    QString grupo;
    QString chaveGrupo = c.cUF;
    if (c.tipo == TipoDocumento::DOT) {
        grupo = u"DOT"_s;
    } else if (c.servico == Servico::Download) {
        grupo = u"Download"_s;
    } else if (c.epec) {
        if (c.tipo != TipoDocumento::NFe) return false;
        grupo = u"EPEC-NFe"_s;
    } else if (c.manifestar) {
        if (c.tipo != TipoDocumento::NFe && c.tipo != TipoDocumento::CTe) return false;
        grupo = u"Manifestar-"_s + texto(c.tipo);
    } else if (c.servico == Servico::Cadastro) {
        grupo = u"Cadastro"_s;
        chaveGrupo = Converte_UF(c.ufConsulta);
        if (chaveGrupo.isEmpty()) return false;
    } else if (c.tipo == TipoDocumento::NFSe) {
        grupo = u"NFSe"_s;
        chaveGrupo = c.cUF + u'/' + c.municipio;
    } else if (!c.svc.isEmpty() && c.tipo == TipoDocumento::NFe) {
        // The contingency authoriser's own set, whatever the state: rows keyed by its name.
        grupo = kGrupoSvc;
        chaveGrupo = c.svc;
    } else if (c.tipo != TipoDocumento::Nenhum && c.tipo != TipoDocumento::Evento) {
        grupo = texto(c.tipo);
    } else {
        return false;
    }
    const std::optional<Endpoint> achado = procura(grupo, chaveGrupo, c.servico, c.ambiente, true);
    if (!achado || achado->endereco.trimmed().isEmpty()) return false;
    if (achado->envio == Envio::Soap && achado->namespace_.trimmed().isEmpty()) return false;
    endpoint = *achado;
    return true;
}

bool TabelaEnderecos::Endereco_Grupo(const QString& grupo, const QString& chaveGrupo, Servico servico,
                                     Ambiente ambiente, Endpoint& endpoint) const {
    endpoint = {};
    const std::optional<Endpoint> achado = procura(grupo, chaveGrupo, servico, ambiente, true);
    if (!achado || achado->endereco.trimmed().isEmpty() || achado->namespace_.trimmed().isEmpty())
        return false;
    endpoint = *achado;
    return true;
}

QString TabelaEnderecos::enderecoConsultaNfce(const QString& cUF, Ambiente ambiente) const {
    return consultaNfce_.value(chaveConsulta(cUF, ambiente)).second;
}

QString TabelaEnderecos::svcDoEstado(const QString& cUF) const {
    const QList<Atende> linhas = atende_.value(chave(kGrupoSvc, cUF));
    return linhas.isEmpty() ? QString() : linhas.first().conjunto;
}

QString TabelaEnderecos::enderecoQr(TipoDocumento tipo, const QString& cUF, Ambiente ambiente) const {
    if (tipo == TipoDocumento::NFCe) {
        const auto achado = consultaNfce_.constFind(chaveConsulta(cUF, ambiente));
        if (achado != consultaNfce_.cend()) return achado->first;
    }
    const std::optional<Endpoint> e =
        procura(u"QrCode-"_s + texto(tipo), cUF, Servico::QrCode, ambiente, false);
    return e ? e->endereco : QString();
}

} // namespace qel

"""The scenario table is checked against the services when it is loaded, so a mistake in it
stops the simulator at start instead of going unnoticed."""

import unittest

from simulacao.cenarios import Cenarios, TabelaInvalida
from simulacao.rotas import montar_rotas, todos_os_servicos

SERVICOS = list(todos_os_servicos(montar_rotas()))


class TabelaDeCenarios(unittest.TestCase):

    def test_tabela_entregue_vale_para_os_servicos(self):
        cenarios = Cenarios.carregar(SERVICOS)
        self.assertEqual(cenarios.regra("rejeitar", "nfse_issnet_consulta")["Codigo"], "E89")
        self.assertEqual(cenarios.http("404"), {"status": 404})
        self.assertEqual(cenarios.http("normal"), {})
        self.assertIsNone(cenarios.http("inexistente"))

    def test_erro_na_tabela_e_recusado(self):
        casos = [  # table, fragment of the reason
            ({"x": {"respostas": [{"servicos": ["nfe_statu"], "cStat": "1"}]}}, "nenhum servico se chama nfe_statu"),
            ({"x": {"respostas": [{"servicos": ["nfe_status"], "Codigo": "E1"}]}}, "nao le ['Codigo']"),
            ({"x": {"respostas": [{"servicos": ["nfse_*"], "Codigo": "E1", "Mensagem": "m"},
                                  {"servicos": ["nfse_thema_consulta"], "Codigo": "E2", "Mensagem": "m"}]}},
             "nfse_thema_consulta em duas linhas"),
            ({"x": {"http": {"status": 302}}}, "302"),
            ({"x": {"http": {"status": 500}}}, "sem o texto da falha"),
            ({"x": {"http": {"esperar": True}, "resposta": []}}, "chaves desconhecidas ['resposta']"),
            ({"x": {"http": {"processar": True}}}, "processar so vale com fechar"),
            ({"x": {"respostas": [{"servicos": ["nfe_ret_autorizacao"], "em_processamento": "0"}]}},
             "valor '0' invalido para em_processamento"),
            ({"x": {"respostas": [{"servicos": ["nfe_ret_autorizacao"], "em_processamento": True}]}},
             "valor True invalido para em_processamento"),
            ({"x": {"respostas": [{"servicos": ["nfe_ret_autorizacao"], "em_processamento": -1}]}},
             "valor -1 invalido"),
            ({"x": {"respostas": [{"servicos": ["cte_autorizacao"], "sem_protocolo": "sim"}]}},
             "valor 'sim' invalido para sem_protocolo"),
            ({"x": {"respostas": [{"servicos": ["nfe_cadastro"], "ocorrencias": 0}]}},
             "valor 0 invalido para ocorrencias"),
            ({"x": {"respostas": [{"servicos": ["nfe_evento"], "tpEvento": "110111"}]}},
             "valor '110111' invalido para tpEvento"),
            ({"x": {"respostas": [{"servicos": ["cte_evento"], "tpEvento": ["11011"]}]}},
             "invalido para tpEvento"),
            ({"x": {"respostas": [{"servicos": ["nfe_inutilizacao"], "tpEvento": ["110111"]}]}},
             "nao le ['tpEvento']"),
        ]
        for tabela, motivo in casos:
            with self.subTest(motivo=motivo):
                with self.assertRaisesRegex(TabelaInvalida, motivo.replace("[", r"\[").replace("*", r"\*")):
                    Cenarios(tabela, SERVICOS)

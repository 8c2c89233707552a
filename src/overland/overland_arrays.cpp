#include "overland/overland_arrays.hpp"

#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "model/model_state.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

void alloc_overland_arrays(model_state& m) {
    const int n = m.ncells;
    bool made = true;  // every block asked for below was made
    auto dv = [n, &made](vec1<double>& v, const char* name) {
        alloc_dvector(v, n, name);
        made = made && !v.empty();
    };
    auto iv = [n, &made](vec1<int>& v, const char* name) {
        alloc_ivector(v, n, name);
        made = made && !v.empty();
    };

    // Overland depth state.
    dv(m.h, "h");
    if (m.flood_grid_given) dv(m.h_max_flood, "h_max_flood");
    dv(m.h_old, "h_old");
    dv(m.ri, "ri");
    m.rain_block_volume = vec1<double>(n / kRainBlockCells + 1);
    dv(m.dh, "dh");
    dv(m.sox, "sox");
    dv(m.soy, "soy");
    dv(m.qx, "qx");
    dv(m.qy, "qy");
    m.ov_route_counted = 0;  // nothing has counted the new discharges
    dv(m.ov_inv_rough, "ov_inv_rough");
    m.ov_interior = vec1<unsigned char>(interior_marks_top(n));
    if (m.discharge_given || m.chan_discharge_given) dv(m.qmap, "qmap");
    // Scratch of the ADE schemes alone: face volumes, and the predictor's
    // depths and discharges.
    if (m.overtype == 2 || m.overtype == 3) {
        dv(m.volx, "volx");
        dv(m.voly, "voly");
        dv(m.hdummy, "hdummy");
        dv(m.qdummy, "qdummy");
        m.ov_flow_marks = vec1<unsigned char>(n);
    }

    // Cell connectivity.
    iv(m.belowcon, "belowcon");
    iv(m.rightcon, "rightcon");
    iv(m.abovecon, "abovecon");
    iv(m.leftcon, "leftcon");
    iv(m.yes_exfil, "yes_exfil");

    // Soil parameter maps.
    if (m.conductivity_given) dv(m.ks_map, "ks_map");
    if (m.capillary_given) dv(m.hc_map, "hc_map");
    if (m.porosity_given) dv(m.phi_map, "phi_map");
    if (m.pore_index_given) dv(m.lam_map, "lam_map");
    if (m.residual_sat_given) dv(m.thr_map, "thr_map");
    if (m.area_reduction_given) dv(m.area_redux, "area_redux");

    const bool richards = m.inf_richards_on != 0;
    if (any_infiltration(m)) {
        dv(m.thi, "thi");
        dv(m.surf, "surf");
        dv(m.infdep, "infdep");
        dv(m.infdep_prev, "infdep");
        dv(m.fav, "fav");
        dv(m.theta_all, "theta_all");
        dv(m.bottomfav, "bottomfav");
        dv(m.bottomfav_prev, "bottomfav");
        dv(m.infdep_all, "infdep_all");
        if (m.inf_redist_on) {
            dv(m.teta_n, "teta_n");
            iv(m.iter_pond_1, "iter_pond_1");
            iv(m.iter_n, "iter_n");
            iv(m.no_wat_prof, "no_wat_prof");
            iv(m.iter_i_less_k, "iter_i_less_k");
            dv(m.vinf_n, "vinf_n");
            dv(m.field_capacity, "field_capacity");
            dv(m.Wp, "Wp");
        }
        if (m.soil_et_accounting) {
            dv(m.L1L2_Flux, "L1L2_Flux");
            dv(m.soil_depth, "soil_depth");
            dv(m.Ws1, "Ws1");
            dv(m.Ws1_L1, "Ws1_L1");
            dv(m.Ws1_L2, "Ws1_L2");
            dv(m.sm_inf_depth, "sm_inf_depth");
            dv(m.bottomfav_2, "bottomfav_2");
            if (m.gw_simulation) {
                dv(m.gw_inf_redist_theta, "gw_inf_redist_theta");
                dv(m.sm_bottom_loss, "sm_bottom_loss");
            }
        }
        if (m.sacramento_given && m.topo_index) dv(m.topo_dex, "topo_dex");
        if (m.inf_layered_on || richards) iv(m.soiltype, "soiltype");
        if (m.inf_layered_on) dv(m.wetdep, "wetdep");
        if (richards) {
            dv(m.VOLCHANGE, "VOLCHANGE");
            dv(m.MASSERROR, "MASSERROR");
            dv(m.dtr, "dtr");
            dv(m.avgks, "avgks");
            dv(m.totaldz, "totaldz");
            m.richards_table_length = kRichardsTableLength;
            alloc_ivector(m.num1, m.richards_table_length, "num1");
            alloc_ivector(m.num2, m.richards_table_length, "num2");
            alloc_ivector(m.num3, m.richards_table_length, "num3");
            made = made && !m.num1.empty() && !m.num2.empty() && !m.num3.empty();
            iv(m.numcells, "numcells");
            iv(m.numtot, "numtot");
            iv(m.bound_type, "bound_type");
            dv(m.elevgw, "elevgw");
            dv(m.gw_flux, "gw_flux");
            dv(m.bottom_elev, "bottom_elev");
            dv(m.inf_rich, "inf_rich");
            if (m.bound_type) {
                m.bound_type.fill(1);
                m.bound_type[0] = 0;
            }
        }
    }

    // Water table: elevgw and gw_flux come from the Richards group when it ran.
    if (m.water_table_given || m.stream_loss || m.chan_con_trans || m.chan_sed_on) {
        iv(m.gwbound, "gwbound");
        if (m.chan_routing) dv(m.river_source, "river_source");
        if (!richards) {
            dv(m.elevgw, "elevgw");
            dv(m.gw_flux, "gw_flux");
        }
    }

    if (m.gw_simulation || m.ov_con_trans || m.nutrients || richards) {
        dv(m.Adummy, "Adummy");
        dv(m.Bdummy, "Bdummy");
        dv(m.Ddummy, "Ddummy");
        dv(m.Edummy, "Edummy");
        dv(m.Fdummy, "Fdummy");
        dv(m.Hdummy, "Hdummy");
        dv(m.Qdummy, "Qdummy");
    }

    if (m.gw_simulation == 1) {
        dv(m.gw_unsat_exchange, "gw_unsat_exchange");
        iv(m.num_unsat_cells, "num_unsat_cells");
        dv(m.qwell, "qwell");
        dv(m.qwell_static, "qwell_static");
        dv(m.source, "source");
        dv(m.elevgw_old, "elevgw_old");
        dv(m.TXX, "TXX");
        dv(m.TYY, "TYY");
        dv(m.DELX, "DELX");
        dv(m.DELY, "DELY");
        dv(m.STOR, "STOR");
        dv(m.gw_array_porosity, "gw_array_porosity");
        dv(m.gw_Kx_hycond, "gw_Kx_hycond");
        dv(m.gw_Ky_hycond, "gw_Ky_hycond");
        if (!richards) dv(m.bottom_elev, "bottom_elev");
    }

    if (m.long_term == 1) {
        dv(m.alb, "alb");
        dv(m.Ts, "Ts");
        dv(m.fTs, "fTs");
        dv(m.snowdepth, "snowdepth");
        dv(m.CFGI, "CFGI");
        dv(m.root_depth, "root_depth");
        dv(m.DIRECT_EVAP, "DIRECT_EVAP");
        dv(m.pot_et, "pot_et");
        dv(m.pot_aet, "pot_aet");
        if (m.et_calc_penman) {
            dv(m.veg, "veg");
            dv(m.Kt, "Kt");
            dv(m.Rs, "Rs");
        }
    }

    if (m.interception == 1) {
        dv(m.icep_stor, "icep_stor");
        dv(m.icep_coef, "icep_coef");
        dv(m.icep_dep, "icep_dep");
        dv(m.ri_eff, "ri_eff");
    }

    dv(m.retent_dep, "retent_dep");
    dv(m.dist_rough, "dist_rough");

    if (m.chan_lakes_on) iv(m.lake_num, "lake_num");
    if (m.overland_lake_map_given) {
        iv(m.oland_lake_mask, "oland_lake_mask");
        iv(m.oland_lake_new, "oland_lake_new");
    }
    if (!made) refuse_unmade(g_error_record, "the per-cell arrays of the grid");
}

}  // namespace kesta
